#pragma once

#include "app/Application.h"
#include "app/MainMenu.h"
#include "app/StringGrid.h"
#include "app/TForm1.h"
#include "app/TextGridModel.h"

#include <QFileDialog>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

// The main window, shown offscreen with its client area at the layout's size,
// its error box, beep and file dialogs replaced by recorders.
class FormFixture : public testing::Test {
protected:
    void SetUp() override
    {
        application()->setErrorBox([this](const QString& title, const QString& text) {
            boxes.push_back(title + "|" + text);
        });
        form = std::make_unique<TForm1>();
        form->setBeep([this] { ++beeps; });
        form->setDialogRunner([this](QFileDialog& dialog) {
            offered.push_back(dialog.selectedFiles().value(0));
            return choice;
        });
        form->show();
        resizeClientArea(1184, 863);
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    void TearDown() override { QLocale::setDefault(QLocale::system()); }

    static kestra::Application* application() { return qobject_cast<kestra::Application*>(qApp); }

    // The layout's sizes are those of the client area below the menu bar.
    void resizeClientArea(int width, int height)
    {
        form->resize(width, height + form->MainMenu1->height());
    }

    [[nodiscard]] QString coordinate(int row, int column) const
    {
        const kestra::TextGridModel* model = form->StringGrid2->gridModel();
        return model->data(model->index(row - 1, column - 1), Qt::DisplayRole).toString();
    }

    [[nodiscard]] QString result(int row, int column) const
    {
        const kestra::TextGridModel* model = form->StringGrid1->gridModel();
        return model->data(model->index(row - 1, column - 1), Qt::DisplayRole).toString();
    }

    void startRecording()
    {
        QTest::mouseClick(form->Button3, Qt::LeftButton); // reset -> idle
        QTest::mouseClick(form->Button3, Qt::LeftButton); // idle -> P(1)
    }

    std::unique_ptr<TForm1> form;
    int beeps = 0;
    std::vector<QString> boxes;
    std::optional<QString> choice;
    std::vector<QString> offered;
};
