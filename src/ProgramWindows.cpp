#include "ProgramWindows.h"

#include "catalogue/MainWindow.h"
#include "preview/ImagePreviewWindow.h"
#include "preview/VideoPreviewWindow.h"
#include "services/AboutWindow.h"
#include "services/SettingsDialog.h"
#include "services/UpdateDialog.h"

ProgramWindows::ProgramWindows(const QString& settingsFolder)
{
    form1_ = std::make_unique<TForm1>(settingsFolder);
    form2_ = std::make_unique<TForm2>(form1_->settingsFile());
    form3_ = std::make_unique<TForm3>();
    form4_ = std::make_unique<TForm4>();
    form5_ = std::make_unique<TForm5>();
    myDlg_ = std::make_unique<TMyDlg>();
    form1_->attachWindows(form2_.get(), form5_.get());
}

ProgramWindows::~ProgramWindows()
{
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
