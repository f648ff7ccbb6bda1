// The main window's widgets, menus and port settings as laid out at 96 dpi; pixel sizes are
// scaled with the screen.
#include "app/window/Tessalmain.h"

#include "app/window/About.h"
#include "controls/CPortCtl.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kLampMinOnMs = 50;
// Grid rows below the headers at the window's minimum size.
constexpr int kMinimumGridRows = 3;

// Caption or hint is what a screen reader reads; the hint is also the tool tip.
template <typename W>
W* Named(W* widget, const char* objectName, const QString& accessible,
         const QString& hint = QString()) {
    widget->setObjectName(objectName);
    widget->setAccessibleName(accessible);
    if (!hint.isEmpty()) {
        widget->setToolTip(hint);
    }
    return widget;
}

QPixmap BannerPicture(QSize size) {
    QPixmap picture(size);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, size.width(), 0);
    gradient.setColorAt(0, QColor(0, 0, 140));
    gradient.setColorAt(1, QColor(90, 140, 220));
    painter.fillRect(picture.rect(), gradient);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(size.height() * 3 / 5);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(picture.rect().adjusted(size.height() / 3, 0, 0, 0),
                     Qt::AlignVCenter | Qt::AlignLeft, "Tessal  frame workbench");
    return picture;
}

QIcon SendPicture(int side) {
    QPixmap picture(side, side);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0, 128, 0));
    painter.setPen(Qt::NoPen);
    const QPointF arrow[] = {{side * 0.15, side * 0.2},
                             {side * 0.9, side * 0.5},
                             {side * 0.15, side * 0.8},
                             {side * 0.3, side * 0.5}};
    painter.drawPolygon(arrow, 4);
    return QIcon(picture);
}

// A captioned box around one editor control, as the frame editor shows its fields.
QGroupBox* FieldBox(const char* caption, QWidget* field, QWidget* below = nullptr) {
    auto* box = new QGroupBox(caption);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(6, 0, 6, 2);
    layout->setSpacing(2);
    layout->addWidget(field);
    if (below != nullptr) {
        layout->addWidget(below);
    }
    return box;
}

} // namespace

void TTessalForm::BuildWindow() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    Scale = screen != nullptr ? screen->logicalDotsPerInchY() / 96.0 : 1.0;
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);
    setWindowTitle("Tessal");
    setObjectName("TessalForm");
    setAccessibleName("Tessal");

    auto* content = new QWidget;
    content->setObjectName("ContentPanel");
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(static_cast<int>(8 * Scale), 0, static_cast<int>(8 * Scale), 0);
    layout->setSpacing(static_cast<int>(4 * Scale));
    auto* topPanel = new QFrame(content);
    topPanel->setFrameShape(QFrame::HLine);
    topPanel->setFixedHeight(static_cast<int>(3 * Scale));
    layout->addWidget(topPanel);
    layout->addWidget(BuildTopRow());
    layout->addWidget(BuildTxFrameGroup());
    layout->addWidget(BuildRxFrameGroup(), 1);
    // No window manager need enforce the minimum size: below it the content scrolls instead of
    // squeezing the fields to nothing.
    ContentScroller = new QScrollArea(this);
    ContentScroller->setObjectName("ContentScroller");
    ContentScroller->setFrameShape(QFrame::NoFrame);
    ContentScroller->setFocusPolicy(Qt::NoFocus);
    ContentScroller->setWidgetResizable(true);
    ContentScroller->setWidget(content);
    setCentralWidget(ContentScroller);

    StatusLabel = Named(new QLabel(" "), "StatusBar", "Status");
    statusBar()->addWidget(StatusLabel, 1);
    statusBar()->setSizeGripEnabled(true);
    BuildMenus();

    // Lamps and read-only fields are read, not worked: Tab passes them by.
    setTabOrder(CMDTAdrEdit, CMDComboBox);
    setTabOrder(CMDComboBox, CMDParametersEdit);
    setTabOrder(CMDParametersEdit, CMDCRC_H_Edit);
    setTabOrder(CMDCRC_H_Edit, CMDCRC_L_Edit);
    setTabOrder(CMDCRC_L_Edit, AutoCRCCheckBox);
    setTabOrder(AutoCRCCheckBox, AutoRepeatCheckBox);
    setTabOrder(AutoRepeatCheckBox, SendFrameBitBtn);
    setTabOrder(SendFrameBitBtn, HexCheckBox);
    setTabOrder(HexCheckBox, DelBeforeSendCheckBox);
    setTabOrder(DelBeforeSendCheckBox, ShowTXCheckBox);
    setTabOrder(ShowTXCheckBox, RXFrameStringGrid);
    FitWindowSize();
}

void TTessalForm::FitWindowSize() {
    const int rowHeight = RXFrameStringGrid->verticalHeader()->defaultSectionSize();
    const QSize content = ContentScroller->widget()->minimumSizeHint();
    const int bars = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
    const QSize minimum(std::max(static_cast<int>(800 * Scale), content.width()),
                        std::max(static_cast<int>(400 * Scale), content.height() + bars));
    setMinimumSize(minimum);
    int height =
        std::max(static_cast<int>(416 * Scale),
                 content.height() + bars + (kStartGridRows - kMinimumGridRows) * rowHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        height = std::max(minimum.height(), std::min(height, screen->availableGeometry().height()));
    }
    resize(minimum.width(), height);
}

QWidget* TTessalForm::BuildTopRow() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    const QSize bannerSize(static_cast<int>(409 * Scale), static_cast<int>(41 * Scale));
    BannerImage = Named(new QLabel, "BannerImage", kMakerAddress, kMakerAddress);
    BannerImage->setPixmap(BannerPicture(bannerSize));
    BannerImage->setFixedSize(bannerSize);
    layout->addWidget(BannerImage, 0, Qt::AlignTop);
    layout->addStretch(1);

    UartGroup = Named(new QGroupBox("UART"), "UartGroup", "UART");
    UartGroup->setFixedSize(static_cast<int>(225 * Scale), static_cast<int>(73 * Scale));
    auto* uart = new QHBoxLayout(UartGroup);
    uart->setContentsMargins(static_cast<int>(8 * Scale), static_cast<int>(2 * Scale),
                             static_cast<int>(8 * Scale), static_cast<int>(6 * Scale));
    auto lamp = [this, uart](TComLed*& led, const char* name, const char* hint, const char* label,
                             TComLedSignal signal, TLedKind kind) {
        led = Named(new TComLed(UartGroup), name, hint, hint);
        led->SetKind(kind);
        led->SetLedSignal(signal);
        led->SetComPort(&ComPort);
        // A frame of a few bytes lights a lamp for well under a millisecond: long enough to see.
        led->SetMinOnTime(kLampMinOnMs);
        led->setFocusPolicy(Qt::NoFocus);
        auto* column = new QVBoxLayout;
        column->addWidget(led, 0, Qt::AlignHCenter);
        auto* caption = new QLabel(label);
        caption->setAlignment(Qt::AlignHCenter);
        column->addWidget(caption);
        uart->addLayout(column);
    };
    lamp(ComLed1, "ComLed1", "TX state", "TX", lsTx, lkRedLight);
    lamp(RxComLed, "RxComLed", "RX state", "RX", lsRx, lkGreenLight);
    uart->addStretch(1);
    SendFrameBitBtn =
        Named(new QPushButton(SendPicture(static_cast<int>(20 * Scale)), "Send frame"),
              "SendFrameBitBtn", "Send frame", "Send frame button");
    SendFrameBitBtn->setFixedSize(static_cast<int>(144 * Scale), static_cast<int>(49 * Scale));
    SendFrameBitBtn->setEnabled(false);
    uart->addWidget(SendFrameBitBtn);
    layout->addWidget(UartGroup, 0, Qt::AlignTop | Qt::AlignRight);
    return row;
}

QGroupBox* TTessalForm::BuildTxFrameGroup() {
    TxFrameGroup = Named(new QGroupBox("TX frame"), "TxFrameGroup", "TX frame");
    auto* grid = new QGridLayout(TxFrameGroup);
    grid->setContentsMargins(static_cast<int>(8 * Scale), static_cast<int>(2 * Scale),
                             static_cast<int>(8 * Scale), static_cast<int>(2 * Scale));
    grid->setVerticalSpacing(static_cast<int>(2 * Scale));
    opisRozkazuLabel =
        Named(new QLabel("Command description"), "opisRozkazuLabel", "Command description");
    opisRozkazuLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(opisRozkazuLabel, 0, 0, 1, 6);
    FirstStartLabel = new QLabel(kFirstStartHelpText);
    FirstStartLabel->setObjectName("FirstStartLabel");
    grid->addWidget(FirstStartLabel, 0, 0, 1, 6);

    CMDTAdrEdit = Named(new QLineEdit("ff"), "CMDTAdrEdit", "Target address", "Target address");
    CMDTAdrEdit->setMaxLength(2);
    CMDTAdrEdit->setFixedWidth(static_cast<int>(33 * Scale));
    CMDLengthEdit =
        Named(new QLineEdit("05"), "CMDLengthEdit", "Total frame length", "Total frame length");
    CMDLengthEdit->setReadOnly(true);
    CMDLengthEdit->setFocusPolicy(Qt::ClickFocus);
    CMDLengthEdit->setFixedWidth(static_cast<int>(33 * Scale));
    CMDComboBox = Named(new QComboBox, "CMDComboBox", "Select command", "Select command");
    CMDComboBox->setEditable(false);
    CMDComboBox->addItem(QString());
    CMDComboBox->setMinimumWidth(static_cast<int>(150 * Scale));
    CMDParametersEdit =
        Named(new QLineEdit, "CMDParametersEdit", "Parameters field", "Parameters field");
    opisParametrowLabel = Named(new QLabel("Description"), "opisParametrowLabel", "Description");
    // The help and the descriptions take turns without the editor changing its height.
    for (QLabel* label : {FirstStartLabel, opisRozkazuLabel, opisParametrowLabel}) {
        QSizePolicy keepsItsPlace = label->sizePolicy();
        keepsItsPlace.setRetainSizeWhenHidden(true);
        label->setSizePolicy(keepsItsPlace);
    }
    opisRozkazuLabel->hide();
    opisParametrowLabel->hide();
    CMDCRC_H_Edit = Named(new QLineEdit, "CMDCRC_H_Edit", "CRCH", "CRCH");
    CMDCRC_L_Edit = Named(new QLineEdit, "CMDCRC_L_Edit", "CRCL", "CRCL");
    for (QLineEdit* crc : {CMDCRC_H_Edit, CMDCRC_L_Edit}) {
        crc->setMaxLength(2);
        crc->setReadOnly(true);
        crc->setFocusPolicy(Qt::ClickFocus);
        crc->setFixedWidth(static_cast<int>(33 * Scale));
    }
    AutoCRCCheckBox =
        Named(new QCheckBox("Auto"), "AutoCRCCheckBox", "Auto", "Select auto/manual edit CRC");
    AutoCRCCheckBox->setChecked(true);
    auto* crcRow = new QWidget;
    auto* crcLayout = new QHBoxLayout(crcRow);
    crcLayout->setContentsMargins(0, 0, 0, 0);
    crcLayout->addWidget(CMDCRC_H_Edit);
    crcLayout->addWidget(CMDCRC_L_Edit);
    crcLayout->addWidget(AutoCRCCheckBox);

    grid->addWidget(FieldBox("TAddr", CMDTAdrEdit), 1, 0);
    grid->addWidget(FieldBox("Length", CMDLengthEdit), 1, 1);
    grid->addWidget(FieldBox("Command", CMDComboBox), 1, 2);
    grid->addWidget(FieldBox("Parameters", CMDParametersEdit, opisParametrowLabel), 1, 3);
    grid->addWidget(FieldBox("CRC", crcRow), 1, 4);
    grid->setColumnStretch(3, 1);

    AutoRepeatCheckBox = Named(new QCheckBox("Auto repeat"), "AutoRepeatCheckBox", "Auto repeat",
                               "Send continuously with specified delay");
    grid->addWidget(AutoRepeatCheckBox, 2, 0, 1, 3);

    // The editor starts disabled until a command-definition file defines commands.
    for (QWidget* w :
         std::initializer_list<QWidget*>{CMDTAdrEdit, CMDLengthEdit, CMDComboBox, CMDParametersEdit,
                                         CMDCRC_H_Edit, CMDCRC_L_Edit, AutoCRCCheckBox}) {
        w->setEnabled(false);
    }

    TxFramePopupMenu = new QMenu("TX frame", this);
    TxFramePopupMenu->setObjectName("TxFramePopupMenu");
    TxFramePopupMenu->setAccessibleName("TX frame");
    TxFrameAddtolist = TxFramePopupMenu->addAction("Add to list");
    TxFrameAddtolist->setObjectName("TxFrameAddtolist");
    TxFrameAddtolist->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    TxFrameClearlist = TxFramePopupMenu->addAction("Clear list");
    TxFrameClearlist->setObjectName("TxFrameClearlist");
    TxFrameClearlist->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    TxFrameSendframes = TxFramePopupMenu->addAction("Send list");
    TxFrameSendframes->setObjectName("TxFrameSendframes");
    TxFrameSendframes->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    TxFrameGroup->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TxFrameGroup, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { TxFramePopupMenu->popup(TxFrameGroup->mapToGlobal(at)); });
    return TxFrameGroup;
}

QGroupBox* TTessalForm::BuildRxFrameGroup() {
    RxFrameGroup = Named(new QGroupBox("RX frame"), "RxFrameGroup", "RX frame");
    auto* layout = new QVBoxLayout(RxFrameGroup);
    layout->setContentsMargins(static_cast<int>(8 * Scale), static_cast<int>(2 * Scale),
                               static_cast<int>(8 * Scale), static_cast<int>(8 * Scale));
    layout->setSpacing(static_cast<int>(2 * Scale));
    auto* boxes = new QHBoxLayout;
    HexCheckBox = Named(new QCheckBox("ASCII"), "HexCheckBox", "ASCII", "Select ASCII/HEX format");
    DelBeforeSendCheckBox = Named(new QCheckBox("Delete automatically"), "DelBeforeSendCheckBox",
                                  "Delete automatically", "Delete all RX frames before TX frame");
    ShowTXCheckBox = Named(new QCheckBox("Show TX frame"), "ShowTXCheckBox", "Show TX frame");
    ShowTXCheckBox->setChecked(true);
    boxes->addWidget(HexCheckBox);
    boxes->addWidget(DelBeforeSendCheckBox);
    boxes->addWidget(ShowTXCheckBox);
    boxes->addStretch(1);
    layout->addLayout(boxes);
    RXFrameStringGrid = new TRxFrameGrid(RowsModel, RxFrameGroup);
    RXFrameStringGrid->SetStartWidths(Scale);
    RXFrameStringGrid->setFont(font());
    RXFrameStringGrid->setMinimumHeight(
        RXFrameStringGrid->horizontalHeader()->sizeHint().height() +
        kMinimumGridRows * RXFrameStringGrid->verticalHeader()->defaultSectionSize() +
        2 * RXFrameStringGrid->frameWidth());
    layout->addWidget(RXFrameStringGrid, 1);
    RXFrameStringGrid->installEventFilter(this);
    return RxFrameGroup;
}

void TTessalForm::BuildMenus() {
    // A menu's name is its caption, as a screen reader says it when it opens.
    const auto addMenu = [this](const char* caption) {
        QMenu* menu = menuBar()->addMenu(caption);
        menu->setAccessibleName(QString(caption).remove('&'));
        return menu;
    };
    QMenu* file = addMenu("&File");
    MenuOpen = file->addAction("Open ...");
    MenuOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    MenuExit = file->addAction("Exit");
    MenuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* setup = addMenu("&Setup");
    MenuSetUART = setup->addAction("COM");
    MenuSetRepeatDelay = setup->addAction("Set repeat period");
    MenuAnswerTimeout = setup->addAction("Answer time-out...");
    MenuWaitForAnswer = setup->addAction("Wait for the answer");
    MenuWaitForAnswer->setCheckable(true);
    MenuReconnect = setup->addAction("Reconnect automatically");
    MenuReconnect->setCheckable(true);
    MenuReconnect->setChecked(true);
    // The TX frame group's menu, here too with its shortcuts.
    FrameMenu = addMenu("F&rame");
    FrameMenu->setObjectName("FrameMenu");
    FrameMenu->addActions({TxFrameAddtolist, TxFrameClearlist, TxFrameSendframes});
    FrameMenu->addSeparator();
    MenuStopRepeat = FrameMenu->addAction("Stop repetition");
    MenuStopRepeat->setObjectName("MenuStopRepeat");
    MenuStopRepeat->setShortcut(QKeySequence(Qt::Key_Escape));
    // Enabled only while repeating, so Escape keeps its other uses the rest of the time.
    MenuStopRepeat->setEnabled(false);
    BuildRecordsMenus(file, MenuExit, addMenu("&View"));
    QMenu* help = addMenu("&Help");
    MenuAbout = help->addAction("About");
    MenuAbout->setShortcut(QKeySequence(Qt::Key_F1));
}

void TTessalForm::SetUpPort() {
    ComPort.SetName(kPortComponentName);
    ComPort.SetBaudRate(br9600);
    ComPort.SetPort("COM1");
    ComPort.SetDataBits(dbEight);
    ComPort.GetParity().SetBits(prNone);
    ComPort.SetStopBits(sbOneStopBit);
    ComPort.SetEvents(TComEvents{evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR,
                                 evError, evRLSD, evRx80Full});
    TComFlowControl& flow = ComPort.GetFlowControl();
    flow.SetOutCTSFlow(false);
    flow.SetOutDSRFlow(false);
    flow.SetXonXoffOut(false);
    flow.SetXonXoffIn(false);
    flow.SetControlDTR(dtrDisable);
    flow.SetControlRTS(rtsDisable);
    TComTimeouts& timeouts = ComPort.GetTimeouts();
    timeouts.SetReadInterval(50);
    timeouts.SetReadTotalMultiplier(100);
    timeouts.SetReadTotalConstant(1000);
    ComPort.OnRxChar = [this](TObject* Sender, std::int32_t Count) {
        ComPortRxChar(Sender, Count);
    };
    ComPort.OnTxEmpty = [this](TObject* Sender) { ComPortDoTxEmpty(Sender); };
    ComPort.OnDeviceLost = [this](TObject* Sender, std::int32_t Errno) {
        ComPortDeviceLost(Sender, Errno);
    };
}
