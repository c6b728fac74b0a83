#include "app/ProgramWindows.h"

#include "app/ProgramState.h"
#include "catalogue/MainWindow.h"
#include "dialogs/AboutWindow.h"
#include "dialogs/FormState.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/UpdateDialog.h"
#include "preview/ImagePreviewWindow.h"
#include "preview/VideoPreviewWindow.h"

ProgramWindows::ProgramWindows(const QString& settingsFolder)
{
    state_ = std::make_unique<ProgramState>(settingsFolder);
    form1_ = std::make_unique<TForm1>(state_->ForMainWindow());
    form2_ = std::make_unique<TForm2>(state_->settingsFile(), state_->settings());
    form3_ = std::make_unique<TForm3>();
    form4_ = std::make_unique<TForm4>();
    form5_ = std::make_unique<TForm5>();
    myDlg_ = std::make_unique<TMyDlg>(form1_.get()); // shown over the main window
    form1_->AttachWindows(form2_.get(), form5_.get(), myDlg_.get());
    form5_->manifestUrl = form1_->manifestUrl();

    // The list opens the preview windows; they find their files through the main window.
    TForm1* main = form1_.get();
    TForm3* photos = form3_.get();
    TForm4* videos = form4_.get();
    CatalogueAccess catalogue;
    catalogue.sourcePathOf = [main](int row) { return main->getSourpath(row); };
    catalogue.nextRow = [main](const QString& extensions, int row, int direction) {
        return main->getnexitem(extensions, row, direction);
    };
    catalogue.showSelectItem = [main](int row, bool select) { main->ShowSelectItem(row, select); };
    catalogue.clearSelection = [main] { main->ClearSelection(); };
    catalogue.removeRow = [main](int row) { main->catalogue().RemoveEntry(row); };
    catalogue.placeOf = [main](int row) {
        return row >= 0 && row < main->catalogue().Count() ? main->catalogue().Entry(row).place : QString();
    };
    photos->catalogue = catalogue;
    videos->catalogue = catalogue;
    // Captures go to the settings' folder; one chosen at capture time is kept there and saved
    // with the options, as the dialog's Apply would.
    ProgramState* state = state_.get();
    videos->captureFolder = [state] { return state->settings().Snapshot()->CapImagePath; };
    videos->setCaptureFolder = [state](const QString& folder) {
        state->settings().Update([&](TSetInfo& value) { value.CapImagePath = folder; });
        if (!state->settings().Snapshot()->saveOptions(state->settingsFile()))
            ReportWriteRefused(state->settingsFile());
    };
    const auto showIfHidden = [](QWidget* window) {
        if (window->isHidden())
            window->show();
    };
    // Opening a row brings its preview forward, out of a minimise too: a preview left behind
    // the main window would seem not to react.
    const auto bringForward = [showIfHidden](QWidget* window) {
        showIfHidden(window);
        if (window->isMinimized())
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->raise();
        window->activateWindow();
    };
    main->previews.openPhoto = [photos, bringForward](int row) {
        photos->InitFile(row);
        bringForward(photos);
    };
    main->previews.openVideo = [videos, bringForward](int row) {
        videos->InitFile(row);
        bringForward(videos);
    };
    // The arrow keys of the list: the photo window opens the row, so what it shows and what it
    // acts on (delete, step, full size) are the same photo; the keys stay with the list.
    main->previews.showPhotoRow = [photos, showIfHidden](int row) {
        showIfHidden(photos);
        photos->InitFile(row);
    };
}

ProgramWindows::~ProgramWindows()
{
    // No tick may start new work now; the worker's task reaches the main window: it ends
    // before any window goes.
    form1_->StopTimers();
    state_->worker().Stop();
    myDlg_.reset();
    form5_.reset();
    form4_.reset();
    form3_.reset();
    form2_.reset();
    form1_.reset();
}

void ProgramWindows::show()
{
    form1_->show();
}
