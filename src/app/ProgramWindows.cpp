#include "app/ProgramWindows.h"

#include "catalogue/CatalogueListView.h"
#include "catalogue/MainWindow.h"
#include "preview/ImagePreviewWindow.h"
#include "preview/VideoPreviewWindow.h"
#include "dialogs/AboutWindow.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/UpdateDialog.h"

#include <QLineEdit>

ProgramWindows::ProgramWindows(const QString& settingsFolder)
{
    form1_ = std::make_unique<TForm1>(settingsFolder);
    form2_ = std::make_unique<TForm2>(form1_->settingsFile());
    form3_ = std::make_unique<TForm3>();
    form4_ = std::make_unique<TForm4>();
    form5_ = std::make_unique<TForm5>();
    myDlg_ = std::make_unique<TMyDlg>(form1_.get()); // shown over the main window
    form1_->attachWindows(form2_.get(), form5_.get(), myDlg_.get());
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
    catalogue.clearSelection = [main] { main->goodslistview->selectionModel()->clearSelection(); };
    catalogue.removeRow = [main](int row) { main->catalogue().RemoveRow(row); };
    photos->catalogue = catalogue;
    videos->catalogue = catalogue;
    // Captures go to the settings dialog's folder; one chosen at capture time is kept there.
    TForm2* settings = form2_.get();
    videos->captureFolder = [settings] { return settings->CapImagePath->text(); };
    videos->setCaptureFolder = [settings](const QString& folder) {
        settings->CapImagePath->setText(folder);
        settings->btnyyClick();
    };
    const auto showIfHidden = [](QWidget* window) {
        if (window->isHidden())
            window->show();
    };
    main->previews.openPhoto = [photos, showIfHidden](int row) {
        photos->InitFile(row);
        showIfHidden(photos);
    };
    main->previews.openVideo = [videos, showIfHidden](int row) {
        videos->InitFile(row);
        showIfHidden(videos);
    };
    main->previews.showPhotoFile = [photos, showIfHidden](const QString& path) {
        showIfHidden(photos);
        photos->ShowPictureFile(path);
    };
}

ProgramWindows::~ProgramWindows()
{
    // The worker reads the other windows' controls: it ends before any window goes.
    form1_->StopWorker();
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
