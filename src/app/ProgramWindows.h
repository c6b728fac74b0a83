#pragma once
// All windows of the program, created at start-up in a fixed order over the program's state,
// and destroyed in the reverse order at the end, so that each window saves its state while
// the state still exists.

#include <QString>
#include <memory>

class ProgramState;
class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TMyDlg;

class ProgramWindows {
public:
    // settingsFolder (with trailing "/") holds Config.dyi.
    explicit ProgramWindows(const QString& settingsFolder);
    ~ProgramWindows();

    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    // Shows the main window, which loads the saved state; the others stay hidden.
    void show();

    ProgramState& State() const { return *state_; }
    TForm1* Form1() const { return form1_.get(); }
    TForm2* Form2() const { return form2_.get(); }
    TForm3* Form3() const { return form3_.get(); }
    TForm4* Form4() const { return form4_.get(); }
    TForm5* Form5() const { return form5_.get(); }
    TMyDlg* MyDlg() const { return myDlg_.get(); }

private:
    std::unique_ptr<ProgramState> state_; // first made, last gone
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm2> form2_;
    std::unique_ptr<TForm3> form3_;
    std::unique_ptr<TForm4> form4_;
    std::unique_ptr<TForm5> form5_;
    std::unique_ptr<TMyDlg> myDlg_;
};
