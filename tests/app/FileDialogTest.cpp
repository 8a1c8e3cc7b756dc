#include "app/FileDialog.h"

#include "QtPrinters.h"
#include "app/SaveDialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// The dialogs are driven as a user drives them: exec() as the window runs
// them, keys through the dialog's window, so that they reach the completion
// list whenever it is open.
class FileDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        // A typed path reaches the shown folder in one key after its parent,
        // and both stand first in their parents: there Qt 6.4's dialog loses
        // track of the folder's selection, as with the BMP suite's folder g.
        ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("scans/g")));
        folder = root.filePath(QStringLiteral("scans/g"));
        for (const char* name : {"pal1.bmp", "pal1bg.bmp", "pal1wb.bmp", "old.txt"}) {
            QFile file(folder + '/' + name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }

    void TearDown() override
    {
        // A list left open by a failing case would take the next case's input.
        while (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
    }

    static void setUpOpen(kestra::FileDialog& dialog)
    {
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters({QStringLiteral("Bitmap (*.bmp)"), QStringLiteral("JPEG (*.jpg)"),
                               QStringLiteral("Minden fájl (*.*)")});
    }

    static void setUpSave(kestra::SaveDialog& dialog)
    {
        dialog.setNameFilters(
            {QStringLiteral("Szöveg (*.txt)"), QStringLiteral("Minden fájl (*.*)")});
        dialog.setDefaultSuffix(QStringLiteral("TXT"));
    }

    // Runs the dialog while the user acts on it; a dialog still open after
    // the user's last key is rejected, so that the case ends.
    int run(QFileDialog& dialog, const std::function<void()>& user)
    {
        dialog.setDirectory(folder);
        QTimer::singleShot(0, &dialog, [&] {
            if (QTest::qWaitForWindowActive(&dialog)) {
                user();
            }
            if (dialog.isVisible()) {
                dialog.reject();
            }
        });
        return dialog.exec();
    }

    static void type(QWidget* dialog, const QString& text)
    {
        for (const QChar character : text) {
            QTest::keyClick(dialog->windowHandle(), character.toLatin1());
        }
    }

    static void press(QWidget* dialog, Qt::Key key)
    {
        QTest::keyClick(dialog->windowHandle(), key);
    }

    static QLineEdit* fileNameEdit(QFileDialog& dialog)
    {
        return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    }

    static QPushButton* acceptButton(QFileDialog& dialog)
    {
        auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        return buttons->button(dialog.acceptMode() == QFileDialog::AcceptOpen
                                   ? QDialogButtonBox::Open
                                   : QDialogButtonBox::Save);
    }

    // Types a full path and presses Enter; the accept button must be live at that moment.
    int runTyped(QFileDialog& dialog, const QString& path)
    {
        return run(dialog, [&] {
            type(&dialog, path);
            EXPECT_TRUE(acceptButton(dialog)->isEnabled()) << path.toStdString();
            press(&dialog, Qt::Key_Return);
        });
    }

    QTemporaryDir root;
    QString folder;
};

TEST_F(FileDialogTest, CompletionListClosesWhenTheDialogReturns)
{
    kestra::FileDialog dialog(QFileDialog::AcceptOpen);
    setUpOpen(dialog);
    QLineEdit* edit = fileNameEdit(dialog);
    ASSERT_NE(edit, nullptr);
    QAbstractItemView* list = edit->completer()->popup();
    const auto offersThree = [&] {
        return QTest::qWaitFor([&] { return list->isVisible() && list->model()->rowCount() == 3; });
    };

    // Completed from the list and accepted with Enter.
    const int accepted = run(dialog, [&] {
        type(&dialog, QStringLiteral("pal1"));
        ASSERT_TRUE(offersThree());
        press(&dialog, Qt::Key_Down);
        press(&dialog, Qt::Key_Down);
        EXPECT_EQ(edit->text(), "pal1bg.bmp");
        press(&dialog, Qt::Key_Return);
    });
    EXPECT_EQ(accepted, QDialog::Accepted);
    EXPECT_EQ(dialog.selectedFiles(), QStringList(folder + "/pal1bg.bmp"));
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // Closed by the program while the list is open.
    const int rejected = run(dialog, [&] {
        edit->clear();
        type(&dialog, QStringLiteral("pal1"));
        ASSERT_TRUE(offersThree());
        dialog.reject();
    });
    EXPECT_EQ(rejected, QDialog::Rejected);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(FileDialogTest, OpenAcceptsATypedFullPathInTheShownFolder)
{
    for (const QString name : {"pal1wb.bmp", "missing.bmp"}) {
        kestra::FileDialog dialog(QFileDialog::AcceptOpen);
        setUpOpen(dialog);
        EXPECT_EQ(runTyped(dialog, folder + '/' + name), QDialog::Accepted) << name.toStdString();
        EXPECT_EQ(dialog.selectedFiles(), QStringList(folder + '/' + name));
    }
}

TEST_F(FileDialogTest, SaveAcceptsATypedFullPathInTheShownFolderAndAsksBeforeReplacing)
{
    kestra::SaveDialog fresh;
    setUpSave(fresh);
    EXPECT_EQ(runTyped(fresh, folder + "/new.txt"), QDialog::Accepted);
    EXPECT_EQ(fresh.selectedFiles(), QStringList(folder + "/new.txt"));

    kestra::SaveDialog existing;
    setUpSave(existing);
    QStringList prompts;
    const std::function<void()> answerYes = [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            QTimer::singleShot(20, &existing, answerYes);
            return;
        }
        prompts.push_back(box->text());
        box->button(QMessageBox::Yes)->click();
    };
    QTimer::singleShot(0, &existing, answerYes);
    EXPECT_EQ(runTyped(existing, folder + "/old.txt"), QDialog::Accepted);
    EXPECT_EQ(prompts, QStringList("old.txt already exists.\nDo you want to replace it?"));
    EXPECT_EQ(existing.selectedFiles(), QStringList(folder + "/old.txt"));
}

} // namespace
