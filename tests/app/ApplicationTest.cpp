#include "app/Application.h"

#include "FormFixture.h"
#include "QtPrinters.h"
#include "measure/Error.h"

#include <QIcon>
#include <QPainter>
#include <QProxyStyle>
#include <stdexcept>

namespace {

using kestra::Application;

struct Box {
    QString title;
    QString text;
};

class ErrorBoxTest : public testing::Test {
protected:
    void SetUp() override
    {
        application()->setErrorBox([this](const QString& title, const QString& text) {
            boxes.push_back({title, text});
        });
    }

    static Application* application() { return qobject_cast<Application*>(qApp); }

    std::vector<Box> boxes;
};

// An object whose own event handler throws, past every handler guard.
class ThrowingObject : public QObject {
public:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User) {
            throw std::runtime_error("Thrown from an event");
        }
        return QObject::event(event);
    }
};

TEST(ErrorBoxTextTest, AddsAFullStopOnlyAfterCharactersSortingAfterIt)
{
    EXPECT_EQ(kestra::ErrorBoxText(""), "");
    EXPECT_EQ(kestra::ErrorBoxText("Disk full"), "Disk full.");
    EXPECT_EQ(kestra::ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(kestra::ErrorBoxText("JPEG error #53"), "JPEG error #53.");
    EXPECT_EQ(kestra::ErrorBoxText("Why?"), "Why?.");
    EXPECT_EQ(kestra::ErrorBoxText("(tif)"), "(tif)");
    EXPECT_EQ(kestra::ErrorBoxText("a-"), "a-");
    EXPECT_EQ(kestra::ErrorBoxText("\"x\""), "\"x\"");
    EXPECT_EQ(kestra::ErrorBoxText(QStringLiteral("fájl")), QStringLiteral("fájl."));
}

TEST(ErrorBoxTextTest, TitleIsTheProgramNameUpToItsFirstDot)
{
    EXPECT_EQ(kestra::ErrorBoxTitle("/usr/bin/kestra"), "kestra");
    EXPECT_EQ(kestra::ErrorBoxTitle("/opt/k.d/kestra.bin.old"), "kestra");
    EXPECT_EQ(kestra::ErrorBoxTitle("C:/Programs/KESTRA.EXE"), "KESTRA");
}

TEST_F(ErrorBoxTest, HandlerErrorIsShownOnceAndTheWindowGoesOn)
{
    QWidget window;
    auto* failing = new QPushButton("Fail", &window);
    auto* working = new QPushButton("Work", &window);
    failing->setGeometry(10, 10, 80, 25);
    working->setGeometry(100, 10, 80, 25);
    int changed = 0;
    int worked = 0;
    QObject::connect(failing, &QPushButton::clicked, &window, [&] {
        kestra::RunHandler([&] {
            if (++changed == 1) {
                throw kestra::Error("Cannot open file \"leaf.tif\"");
            }
            throw 42;
        });
    });
    QObject::connect(working, &QPushButton::clicked, &window,
                     [&] { kestra::RunHandler([&] { ++worked; }); });
    window.resize(200, 50);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    clickThroughWindow(failing);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, kestra::ErrorBoxTitle(QCoreApplication::applicationFilePath()));
    EXPECT_EQ(boxes[0].text, "Cannot open file \"leaf.tif\""); // '"' sorts before '.'
    EXPECT_EQ(changed, 1); // what the handler did before the error stays

    // The next click reaches another button: no grab is left behind.
    clickThroughWindow(working);
    EXPECT_EQ(worked, 1);
    EXPECT_EQ(boxes.size(), 1u);

    // Anything but a standard exception shows an empty box.
    clickThroughWindow(failing);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "");
}

TEST_F(ErrorBoxTest, ErrorsOutsideAnyHandlerAndPastTheGuardsAreShown)
{
    kestra::ReportError(std::make_exception_ptr(kestra::Error("At start-up")));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "At start-up.");

    ThrowingObject object;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&object, &event);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "Thrown from an event.");
}

QImage Drawn(const QIcon& icon, QSize size, QIcon::Mode mode)
{
    QImage image(size + QSize(4, 4), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    icon.paint(&painter, QRect(QPoint(2, 2), size), Qt::AlignCenter, mode);
    return image;
}

TEST(WindowStyleTest, MenuBarArrowReadLateDrawsAsThePlatformStyles)
{
    const auto* style = qobject_cast<const QProxyStyle*>(QApplication::style());
    ASSERT_NE(style, nullptr);
    const QIcon late = style->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    const QIcon own = style->baseStyle()->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    ASSERT_FALSE(own.isNull());
    EXPECT_FALSE(late.isNull());
    EXPECT_EQ(late.availableSizes(), own.availableSizes());
    for (const int side : {8, 16, 24, 48}) {
        const QSize size(side, side);
        EXPECT_EQ(late.actualSize(size), own.actualSize(size)) << side;
        for (const qreal ratio : {1.0, 1.5, 2.0}) {
            EXPECT_EQ(late.pixmap(size, ratio).toImage(), own.pixmap(size, ratio).toImage())
                << side << " at " << ratio;
        }
        for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active}) {
            EXPECT_EQ(Drawn(late, size, mode), Drawn(own, size, mode))
                << side << " in mode " << mode;
        }
    }
}

} // namespace
