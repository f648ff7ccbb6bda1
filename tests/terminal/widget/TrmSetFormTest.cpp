// The terminal settings dialog: filling, applying, the size texts, tcNone, OK and Cancel.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "TermWidgetKit.h"
#include "terminal/widget/CPortTrmSet.h"

namespace {

// Runs EditComTerminal and, once its dialog is up, lets Act work on it.
void RunDialog(TCustomComTerminal& Terminal, const std::function<void(TComTrmSetForm&)>& Act) {
    bool acted = false;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TComTrmSetForm*>(QApplication::activeModalWidget());
        if (form) {
            acted = true;
            Act(*form);
        }
    });
    EditComTerminal(&Terminal);
    EXPECT_TRUE(acted) << "the dialog did not come up";
}

} // namespace

TEST(TrmSetForm, SizeTexts) {
    struct TCase {
        QString Columns, Rows;
        int WantColumns, WantRows;
    } cases[] = {
        {"300", "1", 256, 2},         {"abc", "", 80, 24},      {" 40 ", "50", 40, 50},
        {"-5", "99999999999", 2, 24}, {"132", "100", 132, 100}, {"0x20", "12.5", 80, 24},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Columns.toStdString() + " / " + c.Rows.toStdString());
        TComTerminal t;
        TComTrmSetForm form;
        form.ReadFrom(t);
        form.Edit1->setText(c.Columns);
        form.Edit2->setText(c.Rows);
        form.ApplyTo(t);
        EXPECT_EQ(t.GetColumns(), c.WantColumns);
        EXPECT_EQ(t.GetRows(), c.WantRows);
    }
}

TEST(TrmSetForm, EveryOptionGoesBothWays) {
    TComTerminal source;
    source.SetLocalEcho(true);
    source.SetSendLF(false);
    source.SetWrapLines(true);
    source.SetForce7Bit(false);
    source.SetAppendLF(true);
    source.SetCaret(tcUnderline);
    source.SetEmulation(teVT52);
    source.SetColumns(100);
    source.SetRows(30);
    source.SetArrowKeys(akWindows);

    TComTrmSetForm form;
    form.ReadFrom(source);
    EXPECT_TRUE(form.CheckBox1->isChecked());
    EXPECT_FALSE(form.CheckBox2->isChecked());
    EXPECT_TRUE(form.CheckBox3->isChecked());
    EXPECT_FALSE(form.CheckBox4->isChecked());
    EXPECT_TRUE(form.CheckBox5->isChecked());
    EXPECT_EQ(form.ComboBox1->currentText(), QStringLiteral("Underline"));
    EXPECT_EQ(form.ComboBox2->currentText(), QStringLiteral("VT52"));
    EXPECT_EQ(form.Edit1->text(), QStringLiteral("100"));
    EXPECT_EQ(form.Edit2->text(), QStringLiteral("30"));
    EXPECT_EQ(form.ComboBox3->currentText(), QStringLiteral("Act as windows keys"));

    TComTerminal target;
    form.ApplyTo(target);
    EXPECT_EQ(target.GetLocalEcho(), true);
    EXPECT_EQ(target.GetSendLF(), false);
    EXPECT_EQ(target.GetWrapLines(), true);
    EXPECT_EQ(target.GetForce7Bit(), false);
    EXPECT_EQ(target.GetAppendLF(), true);
    EXPECT_EQ(target.GetCaret(), tcUnderline);
    EXPECT_EQ(target.GetEmulation(), teVT52);
    ASSERT_NE(target.Engine().GetEscapeParser(), nullptr);
    EXPECT_NE(dynamic_cast<TEscapeCodesVT52*>(target.Engine().GetEscapeParser()), nullptr);
    EXPECT_EQ(target.GetColumns(), 100);
    EXPECT_EQ(target.GetRows(), 30);
    EXPECT_EQ(target.GetArrowKeys(), akWindows);
}

TEST(TrmSetForm, CaretNoneHasNoEntryAndStaysNone) {
    TComTerminal t;
    t.SetCaret(tcNone);
    TComTrmSetForm form;
    form.ReadFrom(t);
    EXPECT_EQ(form.ComboBox1->currentIndex(), -1);
    EXPECT_EQ(form.ComboBox1->count(), 2);
    t.SetCaret(tcBlock);
    form.ApplyTo(t);
    EXPECT_EQ(t.GetCaret(), tcNone);
    // A caret the user picks replaces it.
    form.ComboBox1->setCurrentIndex(0);
    form.ApplyTo(t);
    EXPECT_EQ(t.GetCaret(), tcBlock);
}

TEST(TrmSetForm, OkWithoutChangesKeepsTheScreen) {
    TComTerminal t;
    t.WriteStr("kept\r\nas it was");
    t.SetWrapLines(true);
    RunDialog(t, [](TComTrmSetForm& Form) { QTest::mouseClick(Form.Button1, Qt::LeftButton); });
    EXPECT_EQ(RowText(t, 1), "kept");
    EXPECT_EQ(RowText(t, 2), "as it was");
    EXPECT_TRUE(t.GetWrapLines());
}

TEST(TrmSetForm, OkAppliesAndCancelKeepsEverything) {
    const auto edit = [](TComTrmSetForm& Form) {
        for (QCheckBox* box :
             {Form.CheckBox1, Form.CheckBox2, Form.CheckBox3, Form.CheckBox4, Form.CheckBox5})
            box->setChecked(!box->isChecked());
        Form.ComboBox1->setCurrentIndex(1);
        Form.ComboBox2->setCurrentIndex(2);
        Form.ComboBox3->setCurrentIndex(1);
        Form.Edit1->setText(QStringLiteral("60"));
        Form.Edit2->setText(QStringLiteral("20"));
    };
    for (const bool confirm : {false, true}) {
        SCOPED_TRACE(confirm ? "OK" : "Cancel");
        TComTerminal t;
        t.WriteStr("content");
        RunDialog(t, [&](TComTrmSetForm& Form) {
            edit(Form);
            if (confirm) {
                // Enter anywhere confirms: OK is the default button.
                QTest::keyClick(Form.Edit2, Qt::Key_Return);
            } else {
                QTest::mouseClick(Form.Button2, Qt::LeftButton);
            }
        });
        EXPECT_EQ(t.GetLocalEcho(), confirm);
        EXPECT_EQ(t.GetSendLF(), confirm);
        EXPECT_EQ(t.GetWrapLines(), confirm);
        EXPECT_EQ(t.GetForce7Bit(), confirm);
        EXPECT_EQ(t.GetAppendLF(), confirm);
        EXPECT_EQ(t.GetCaret(), confirm ? tcUnderline : tcBlock);
        EXPECT_EQ(t.GetEmulation(), confirm ? teNone : teVT100orANSI);
        EXPECT_EQ(t.GetArrowKeys(), confirm ? akWindows : akTerminal);
        EXPECT_EQ(t.GetColumns(), confirm ? 60 : 80);
        EXPECT_EQ(t.GetRows(), confirm ? 20 : 24);
        // A new size clears the screen.
        EXPECT_EQ(RowText(t, 1), confirm ? "" : "content");
    }
}

TEST(TrmSetForm, ControlsAreNamedAndReachableByKeyboard) {
    TComTrmSetForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Setup"));
    QWidget* expected[] = {form.CheckBox1, form.CheckBox2, form.CheckBox3, form.CheckBox4,
                           form.CheckBox5, form.ComboBox1, form.ComboBox2, form.ComboBox3,
                           form.Edit1,     form.Edit2,     form.Button1,   form.Button2};
    for (QWidget* w : expected)
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
    EXPECT_EQ(form.Edit1->accessibleName(), QStringLiteral("Columns"));
    // The Tab key's order: the next widget in the focus chain that takes focus by Tab.
    const auto next = [](QWidget* W) {
        do
            W = W->nextInFocusChain();
        while (!(W->focusPolicy() & Qt::TabFocus));
        return W;
    };
    for (std::size_t i = 0; i + 1 < std::size(expected); ++i)
        EXPECT_EQ(next(expected[i]), expected[i + 1]) << "after " << i;
}

// The VT102 entry comes after the three older ones, so their stored positions keep their meaning.
TEST(TrmSetForm, OffersVt102AfterTheOthers) {
    TComTerminal t;
    TComTrmSetForm form;
    form.ReadFrom(t);
    ASSERT_EQ(form.ComboBox2->count(), 4);
    EXPECT_EQ(form.ComboBox2->itemText(3), QStringLiteral("VT102"));
    form.ComboBox2->setCurrentIndex(3);
    form.CheckBox3->setChecked(false);
    form.ApplyTo(t);
    EXPECT_EQ(t.GetEmulation(), teVT102);
    EXPECT_NE(dynamic_cast<TEscapeCodesVT102*>(t.Engine().GetEscapeParser()), nullptr);
    EXPECT_TRUE(t.GetWrapLines()) << "choosing VT102 turns wrapping on";
}
