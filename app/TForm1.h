#pragma once

#include "app/CountedPixels.h"
#include "app/ScanResolution.h"
#include "app/SuggestionControl.h"
#include "measure/MainState.h"

#include <QSet>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSlider;
class QStatusBar;

namespace kestra {
class Anchors;
class FileDialog;
class LandmarkGuide;
class MainMenu;
class PictureDrop;
class PictureView;
class ResultsPanel;
class SaveDialog;
class StatusNotes;
class StringGrid;
class TextGridModel;
} // namespace kestra

// The program's one window: its controls as the layout places them, the
// wiring of their events to the handlers, and the state the handlers share.
// The handlers read the controls, call the measurement core and show what
// comes back; an exception one of them throws ends up in the error box.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    // Runs a file dialog modally: the chosen full path, or nothing when the
    // user cancels. Replaceable so that tests need no modal dialog.
    using DialogRunner = std::function<std::optional<QString>(QFileDialog& dialog)>;

    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The tone of an unusable DPI text; replaceable so that tests stay silent.
    void setBeep(std::function<void()> beep);
    // Tells the user something about a picture that loaded (a damaged file);
    // replaceable so that tests need not answer a modal box.
    void setNoticeBox(std::function<void(const QString& text)> box);
    void setDialogRunner(DialogRunner runner);
    // What Suggest landmarks finds; replaceable so that tests know the answer.
    void setSuggester(kestra::SuggestionControl::Suggester suggester)
    {
        suggestions_.setSuggester(std::move(suggester));
    }

    [[nodiscard]] const std::string& decimalSeparator() const { return decimalSeparator_; }

    // The menu bar, and below it the client area that holds the layout.
    kestra::MainMenu* MainMenu1 = nullptr;
    QWidget* ClientArea = nullptr;

    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    kestra::PictureView* Image2 = nullptr;
    QPushButton* Button1 = nullptr;
    kestra::FileDialog* OpenPictureDialog1 = nullptr; // null until openPictureDialog()
    QPushButton* Button2 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    kestra::StringGrid* StringGrid1 = nullptr;
    QPushButton* Button12 = nullptr;
    QPushButton* Button13 = nullptr;
    kestra::SaveDialog* SaveDialog1 = nullptr; // null until saveDialog()
    QStatusBar* StatusBar1 = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    QScrollBar* ScrollBar2 = nullptr;
    QLabel* Label13 = nullptr;
    QSlider* TrackBar1 = nullptr;
    kestra::StringGrid* StringGrid2 = nullptr;
    QLabel* Label2 = nullptr;

    kestra::MainState state;

    // The landmark guide, or nothing until Help > Landmark guide is first used.
    [[nodiscard]] kestra::LandmarkGuide* landmarkGuide() const { return guide_; }
    [[nodiscard]] kestra::ResultsPanel& resultsPanel() const { return *results_; }

    // The file dialogs are built when first used, since building them is
    // a good part of start-up, and kept from then on with the names they
    // remember.
    kestra::FileDialog& openPictureDialog();
    kestra::SaveDialog& saveDialog();
    kestra::SaveDialog& saveLandmarksDialog();
    kestra::FileDialog& loadLandmarksDialog();

    void FormCreate();
    void FormKeyUp(std::uint16_t key, Qt::KeyboardModifiers shift);
    void Edit1Change();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button12Click();
    void Button13Click();
    void Image2MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void Image2MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void Image2MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void TrackBar1Change();
    void ScrollBar1Change();
    void ScrollBar2Change();
    void UpdateScrollBars();
    void DrawMarkers();

    // Handlers of the menus, the coordinates list and dropped files.
    void OpenNextScanClick();
    void OpenPreviousScanClick();
    void PreviousPointClick();
    void StepOnClick();
    void UseScanResolutionClick();
    void ShowCountedPixelsClick();
    void SaveLandmarksClick();
    void LoadLandmarksClick();
    void AnalyzeAndOpenNextClick();
    void SuggestLandmarksClick();
    void MirrorSuggestionsClick();
    void StringGrid2Click(int row);
    // Re-measures a results row: opens its scan with its landmarks, and the
    // next Analyze replaces it.
    void StringGrid1DblClick(int row);
    void ZoomInClick();
    void ZoomOutClick();
    void ActualSizeClick();
    void LandmarkGuideClick();
    void AboutClick();
    void FormDragDrop(const QString& path);

    // Opens a scan as Open ... does; a scan that does not open throws, and
    // nothing changes.
    void openPicture(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenu();
    void buildControls();
    void anchorControls();
    void setTabOrders();
    void wireEvents();
    void wireMenu();
    // The file a save dialog chose, in the system's encoding, or nothing.
    std::optional<std::string> chooseSaveTarget(kestra::SaveDialog& dialog);
    void openNeighbourScan(int step);
    void placeLandmarks(const kestra::Landmarks& landmarks);
    std::optional<kestra::ResolutionWarning> compareResolution();
    void showCount();
    void showLandmarks();
    void readDecimalSeparator();
    void setEdit1Color(const QColor& color);

    template <typename... Parameters, typename... Arguments>
    void runHandler(void (TForm1::*handler)(Parameters...), Arguments... arguments);

    kestra::Anchors* anchors_ = nullptr;
    kestra::ResultsPanel* results_ = nullptr;
    kestra::TextGridModel* coordinates_ = nullptr;
    int displayColorDepth_ = 24;
    std::string decimalSeparator_ = ".";
    std::function<void()> beep_;
    std::function<void(const QString&)> noticeBox_;
    kestra::StatusNotes* statusNotes_ = nullptr;
    kestra::SaveDialog* saveLandmarksDialog_ = nullptr;
    kestra::FileDialog* loadLandmarksDialog_ = nullptr;
    // Built when first asked for; follows the recording from then on.
    kestra::LandmarkGuide* guide_ = nullptr;
    kestra::CountedPixels countedPixels_;
    // The resolution the open picture's file declares, if any.
    std::optional<double> declaredDpi_;
    DialogRunner runDialog_;
    // Scans of the folder that failed to load since the last picture loaded:
    // the next step through the folder passes over them.
    QSet<QString> skippedScans_;
    // A failed suggestion after an open is told as the open's other notices.
    kestra::SuggestionControl suggestions_{state, [this](const QString& text) { noticeBox_(text); },
                                           [this] {
                                               DrawMarkers();
                                               showLandmarks();
                                           }};
};
