#include "app/window/About.h"

#include "app/core/ExampleFiles.h"
#include "app/core/SettingsFile.h"
#include "framework/ProgramInfo.h"

#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QLabel* PanelText(const QString& text, int pixelSize, bool bold, const QColor& colour) {
    auto* label = new QLabel(text);
    QFont font("Arial");
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setAccessibleName(text);
    return label;
}

QFrame* Panel(const QColor& colour, int height) {
    auto* panel = new QFrame;
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, colour);
    panel->setPalette(palette);
    // Taller when its texts need it.
    panel->setMinimumHeight(height);
    return panel;
}

// Where a new user finds a command-definition file to start from.
QString ExampleFileText() {
    std::string dir;
    try {
        dir = ExecutableDir();
    } catch (const std::exception&) {
        // Without its own directory the example is looked for in the source tree only.
    }
    const std::string example = ExampleCommandFile(dir);
    return "Example command file:\n" + (example.empty()
                                            ? QString("resources/example.tsl in the sources")
                                            : QString::fromLocal8Bit(example.c_str()));
}

} // namespace

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutForm");
    setWindowTitle("About Tessal");
    setAccessibleName("About Tessal");
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    auto* layout = new QVBoxLayout(this);
    // As large as its texts in the desktop's fonts, the example file's path included.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->setSpacing(4);

    QFrame* top = Panel(QColor(0, 0, 140), 97);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->addWidget(PanelText("Tessal", 24, true, Qt::white));
    VersionLabel = PanelText("Version", 16, false, Qt::white);
    VersionLabel->setObjectName("VersionLabel");
    topLayout->addWidget(VersionLabel);
    layout->addWidget(top);

    QFrame* white = Panel(Qt::white, 64);
    auto* whiteLayout = new QVBoxLayout(white);
    whiteLayout->setSpacing(0);
    whiteLayout->addWidget(PanelText("Frame workbench for serial devices", 11, false, Qt::black));
    whiteLayout->addWidget(PanelText("Visit our WWW site :", 11, false, Qt::black));
    WWWlinkLabel =
        new QLabel(QString("<a href=\"%1\" style=\"color:#0000ff\">%1</a>").arg(kMakerAddress));
    WWWlinkLabel->setObjectName("WWWlinkLabel");
    WWWlinkLabel->setAccessibleName(kMakerAddress);
    WWWlinkLabel->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                          Qt::LinksAccessibleByKeyboard);
    WWWlinkLabel->setCursor(Qt::PointingHandCursor);
    WWWlinkLabel->setOpenExternalLinks(false);
    connect(WWWlinkLabel, &QLabel::linkActivated, this, &TAboutForm::WWWlinkLabelClick);
    whiteLayout->addWidget(WWWlinkLabel);
    layout->addWidget(white);

    ExampleFileLabel = new QLabel(ExampleFileText());
    ExampleFileLabel->setObjectName("ExampleFileLabel");
    ExampleFileLabel->setAccessibleName(ExampleFileLabel->text());
    ExampleFileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                              Qt::TextSelectableByKeyboard);
    ExampleFileLabel->setContentsMargins(8, 0, 8, 0);
    layout->addWidget(ExampleFileLabel);

    auto* bevel = new QFrame;
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    layout->addWidget(bevel);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    AboutOKBitBtn = new QPushButton("Close");
    AboutOKBitBtn->setObjectName("AboutOKBitBtn");
    AboutOKBitBtn->setAccessibleName("Close");
    AboutOKBitBtn->setMinimumSize(65, 25);
    AboutOKBitBtn->setDefault(true);
    connect(AboutOKBitBtn, &QPushButton::clicked, this, &TAboutForm::AboutOKBitBtnClick);
    buttons->addWidget(AboutOKBitBtn);
    buttons->addSpacing(8);
    layout->addLayout(buttons);

    const QString version = QStringLiteral("ver. ") + QString::fromLatin1(TessalVersion());
    VersionLabel->setText(version);
    VersionLabel->setAccessibleName(version);
}

void TAboutForm::ShowModeless() {
    if (parentWidget() != nullptr) {
        move(parentWidget()->geometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
}

void TAboutForm::AboutOKBitBtnClick() {
    hide();
}

void TAboutForm::WWWlinkLabelClick() {
    QDesktopServices::openUrl(QUrl(kMakerAddress));
}
