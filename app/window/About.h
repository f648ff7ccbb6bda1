// The About box TAboutForm: name, version, the link to our web site and where the example
// command-definition file lies. Created once at start-up, shown modeless, hidden when closed.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

inline constexpr const char* kMakerAddress = "https://tessal.example.org";

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    void ShowModeless();
    QLabel* VersionLabel = nullptr;
    QLabel* WWWlinkLabel = nullptr;
    QLabel* ExampleFileLabel = nullptr;
    QPushButton* AboutOKBitBtn = nullptr;

    void AboutOKBitBtnClick();
    void WWWlinkLabelClick();
};
