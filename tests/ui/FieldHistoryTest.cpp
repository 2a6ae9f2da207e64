// The field history key: values of the last saved record come back into a
// new window of the same form, control by control.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

#include "UiTestSupport.h"
#include "platform/ui/FieldHistory.h"

namespace kr {
namespace {

// One window of a form with a control of every kind the forms register.
struct Form {
    QWidget window;
    QLineEdit* name = new QLineEdit;
    QComboBox* kind = new QComboBox;       // a fixed list
    QComboBox* category = new QComboBox;   // editable
    QCheckBox* active = new QCheckBox("Active");
    QGroupBox* type = new QGroupBox("Type");
    QRadioButton* annual = new QRadioButton("Annual");
    QRadioButton* once = new QRadioButton("Once");
    QPlainTextEdit* text = new QPlainTextEdit;
    QSpinBox* every = new QSpinBox;
    QLineEdit* notes = new QLineEdit;      // not registered
    FieldHistory history;

    explicit Form(const std::string& name_) : history(name_) {
        auto* v = new QVBoxLayout(&window);
        kind->addItems({"Text", "Keys", "Script"});
        category->setEditable(true);
        category->addItems({"Work", "Home"});
        auto* tl = new QVBoxLayout(type);
        tl->addWidget(annual);
        tl->addWidget(once);
        every->setRange(0, 999);
        for (QWidget* w : std::initializer_list<QWidget*>{name, kind, category, active, type, text, every, notes})
            v->addWidget(w);
        name->setObjectName("name");
        history.Add(name);
        history.Add(kind, "kind");
        history.Add(category, "category");
        history.Add(active, "active");
        history.Add(type, "type");
        history.Add(text, "text");
        history.Add(every, "every");
        window.show();
    }
    void Key(QWidget* w) {
        w->setFocus();
        QTest::keyClick(w, Qt::Key_Apostrophe, Qt::ControlModifier);
    }
    void KeyAll() {
        for (QWidget* w : std::initializer_list<QWidget*>{name, kind, category->lineEdit(), active, once, text, every,
                                                          notes})
            Key(w);
    }
};

TEST(FieldHistoryTest, RecallsTheLastSavedValuesIntoANewWindowOfTheForm) {
    auto first = std::make_unique<Form>("RecallForm");
    // Nothing was saved yet in this run: the key leaves every control alone.
    first->KeyAll();
    EXPECT_EQ(first->name->text(), "");
    EXPECT_EQ(first->kind->currentIndex(), 0);
    EXPECT_FALSE(first->once->isChecked());
    EXPECT_FALSE(first->history.copy().saved());

    first->name->setText("Good Friday");
    first->kind->setCurrentIndex(2);
    first->category->setEditText("Garden");
    first->active->setChecked(true);
    first->once->setChecked(true);
    first->text->setPlainText("two\nlines");
    first->every->setValue(42);
    first->notes->setText("not kept");
    first->history.Remember();
    first.reset();

    Form second("RecallForm");
    QSignalSpy edited(second.name, &QLineEdit::textEdited);
    QSignalSpy chosen(second.kind, &QComboBox::activated);
    QWidget* recalled = nullptr;
    second.history.onRecall = [&](QWidget* w) { recalled = w; };
    second.KeyAll();
    EXPECT_EQ(second.name->text(), "Good Friday");
    EXPECT_TRUE(second.name->isModified());  // the form takes it as typed
    EXPECT_EQ(edited.count(), 1);
    EXPECT_EQ(second.kind->currentText(), "Script");
    EXPECT_EQ(chosen.count(), 1);
    EXPECT_EQ(second.category->currentText(), "Garden");
    EXPECT_TRUE(second.active->isChecked());
    EXPECT_TRUE(second.once->isChecked());
    EXPECT_FALSE(second.annual->isChecked());
    EXPECT_EQ(recalled, second.every);
    EXPECT_EQ(second.text->toPlainText(), "two\nlines");
    EXPECT_TRUE(second.text->document()->isModified());
    EXPECT_EQ(second.every->value(), 42);
    EXPECT_EQ(second.notes->text(), "");  // unregistered: untouched, no apostrophe typed

    // A blank field saved is a value too; another form keeps its own copy.
    second.name->setText("");
    second.active->setChecked(false);
    second.history.Remember();
    Form third("RecallForm");
    third.name->setText("typed");
    third.active->setChecked(true);
    third.Key(third.name);
    third.Key(third.active);
    EXPECT_EQ(third.name->text(), "");
    EXPECT_FALSE(third.active->isChecked());
    Form other("OtherForm");
    other.Key(other.kind);
    EXPECT_EQ(other.kind->currentIndex(), 0);
}

TEST(FieldHistoryTest, LeavesReadOnlyAndDisabledControlsAndOtherKeysAlone) {
    Form first("ReadOnlyForm");
    first.name->setText("Saved");
    first.every->setValue(7);
    first.kind->setCurrentIndex(1);
    first.history.Remember();

    Form second("ReadOnlyForm");
    second.name->setReadOnly(true);
    second.every->setEnabled(false);
    second.Key(second.name);
    EXPECT_EQ(second.name->text(), "");
    EXPECT_FALSE(second.history.Recall(second.every));
    EXPECT_EQ(second.every->value(), 0);

    // A plain apostrophe is typed; Ctrl+Alt+' is not the key.
    second.name->setReadOnly(false);
    second.name->setFocus();
    QTest::keyClick(second.name, Qt::Key_Apostrophe);
    EXPECT_EQ(second.name->text(), "'");
    QTest::keyClick(second.kind, Qt::Key_Apostrophe, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(second.kind->currentIndex(), 0);

    // Layouts that reach the apostrophe with Shift, or give the acute dead key.
    QKeyEvent shifted(QEvent::KeyPress, Qt::Key_Apostrophe, Qt::ControlModifier | Qt::ShiftModifier);
    QKeyEvent dead(QEvent::KeyPress, Qt::Key_Dead_Acute, Qt::ControlModifier);
    QKeyEvent plain(QEvent::KeyPress, Qt::Key_Apostrophe, Qt::NoModifier);
    EXPECT_TRUE(FieldHistory::IsHistoryKey(&shifted));
    EXPECT_TRUE(FieldHistory::IsHistoryKey(&dead));
    EXPECT_FALSE(FieldHistory::IsHistoryKey(&plain));
    // A form that recalls with Ctrl+` takes the grave accent or its dead key
    // (also as a bare X keysym), and not the apostrophe.
    QKeyEvent grave(QEvent::KeyPress, Qt::Key_QuoteLeft, Qt::ControlModifier);
    QKeyEvent deadGrave(QEvent::KeyPress, Qt::Key_Dead_Grave, Qt::ControlModifier);
    QKeyEvent symGrave(QEvent::KeyPress, 0, Qt::ControlModifier, 0, 0xfe50, 0);
    EXPECT_TRUE(FieldHistory::IsHistoryKey(&grave, HistoryKey::Grave));
    EXPECT_TRUE(FieldHistory::IsHistoryKey(&deadGrave, HistoryKey::Grave));
    EXPECT_TRUE(FieldHistory::IsHistoryKey(&symGrave, HistoryKey::Grave));
    EXPECT_FALSE(FieldHistory::IsHistoryKey(&shifted, HistoryKey::Grave));
    EXPECT_FALSE(FieldHistory::IsHistoryKey(&grave));
    QApplication::sendEvent(second.kind, &dead);
    EXPECT_EQ(second.kind->currentText(), "Keys");
}

TEST(FieldHistoryTest, RecallsARadioGroupWithoutContainer) {
    QWidget w;
    auto* v = new QVBoxLayout(&w);
    auto* group = new QButtonGroup(&w);
    QRadioButton* radios[3];
    for (int i = 0; i < 3; ++i) {
        radios[i] = new QRadioButton(QString("Choice %1").arg(i), &w);
        group->addButton(radios[i]);
        v->addWidget(radios[i]);
    }
    FieldHistory history("GroupForm");
    history.Add(group, "choice");
    radios[2]->setChecked(true);
    history.Remember();
    radios[0]->setChecked(true);
    w.show();
    radios[1]->setFocus();
    QTest::keyClick(radios[1], Qt::Key_Apostrophe, Qt::ControlModifier);
    EXPECT_TRUE(radios[2]->isChecked());
}

}  // namespace
}  // namespace kr
