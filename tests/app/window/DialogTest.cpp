#include "WindowTestKit.h"

#include "app/window/About.h"
#include "app/window/Repeat_period.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>

namespace {

// Receives the addresses the desktop is asked to open, in place of a browser.
class TUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Opened;
public slots:
    void Open(const QUrl& url) { Opened.append(url); }
};

} // namespace

TEST_F(TWindowTest, RepeatPeriodDialogRules) {
    Start();
    // Owned by the window, as the program's is; shown by its menu item.
    auto* dialog = new TSendDelayForm(Form.get());
    Form->SetDialogs(nullptr, dialog);
    Action("Set repeat period")->trigger();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->TimeEdit->text(), "1000");
    EXPECT_EQ(dialog->NewValueLabel->text(), "1000");
    // OK at once does nothing: the period is taken only after an edit.
    QTest::mouseClick(dialog->AcceptBitBtn, Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible());

    struct TCase {
        const char* Text;
        const char* Echo;
        bool Accepted;
        std::int32_t Period;
    };
    const TCase cases[] = {
        {"75ms", "75", true, 75},        {"-5", "-5", false, 75},      {"0", "0", false, 75},
        {"abc", "incorrect", false, 75}, {"", "incorrect", false, 75}, {"250", "250", true, 250},
    };
    for (const TCase& c : cases) {
        dialog->ShowModeless();
        dialog->TimeEdit->setText(c.Text);
        EXPECT_EQ(dialog->NewValueLabel->text(), c.Echo) << c.Text;
        QTest::mouseClick(dialog->AcceptBitBtn, Qt::LeftButton);
        EXPECT_EQ(dialog->isVisible(), !c.Accepted) << c.Text;
        EXPECT_EQ(dialog->GetRepeatPeriod(), c.Period) << c.Text;
        EXPECT_EQ(Form->Bench().GetRepeatPeriod(), c.Period) << c.Text;
    }
    dialog->ShowModeless();
    dialog->TimeEdit->setText("500");
    QTest::mouseClick(dialog->CancelBitBtn, Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Form->Bench().GetRepeatPeriod(), 250);
    // Escape closes it too, and it is only hidden: shown again it reads the period afresh.
    dialog->ShowModeless();
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    dialog->ShowModeless();
    EXPECT_EQ(dialog->TimeEdit->text(), "250");
    EXPECT_EQ(dialog->GetPendingPeriod(), 0);
}

TEST_F(TWindowTest, ANewPeriodRestartsARunningRepetition) {
    Start();
    Reader = std::make_unique<TPeerReader>(Peer);
    auto* dialog = new TSendDelayForm(Form.get());
    Form->SetDialogs(nullptr, dialog);
    Find<QCheckBox>("AutoRepeatCheckBox")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    const std::uint32_t firstTimer = Form->GetRepeatTimerId();
    EXPECT_NE(firstTimer, 0u);
    dialog->ShowModeless();
    dialog->TimeEdit->setText("20");
    QTest::mouseClick(dialog->AcceptBitBtn, Qt::LeftButton);
    EXPECT_TRUE(Form->Repeating());
    EXPECT_NE(Form->GetRepeatTimerId(), firstTimer);
    // At 1000 ms ten frames would take nine seconds.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Reader->Count() >= 10; }, 3000));
    QTest::mouseClick(Find<QPushButton>("SendFrameBitBtn"), Qt::LeftButton);
    EXPECT_FALSE(Form->Repeating());
}

TEST_F(TWindowTest, AboutBoxShowsTheVersionAndOpensOurAddress) {
    Start();
    TAboutForm about(Form.get());
    about.ShowModeless();
    EXPECT_FALSE(about.isModal());
    EXPECT_EQ(about.windowTitle(), "About Tessal");
    EXPECT_EQ(about.VersionLabel->text(), "ver. 3.20.00");
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "Open");
    emit about.WWWlinkLabel->linkActivated(kMakerAddress);
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(catcher.Opened.size(), 1);
    EXPECT_EQ(catcher.Opened.front(), QUrl(kMakerAddress));
    QTest::mouseClick(about.AboutOKBitBtn, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    about.ShowModeless();
    EXPECT_TRUE(about.isVisible());
}

#include "DialogTest.moc"
