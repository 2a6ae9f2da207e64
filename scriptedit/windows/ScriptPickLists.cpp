#include "scriptedit/windows/ScriptPickLists.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>

#include "platform/ui/PopupMenu.h"
#include "scriptedit/ScriptItemRules.h"

namespace kr::scriptedit {

namespace {
QStringList Items(const char* list) { return QString::fromLatin1(list).split('|'); }
}  // namespace

ScriptPickLists::ScriptPickLists(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    auto* keys = new QGroupBox("Key Code", this);
    auto* kl = new QHBoxLayout(keys);
    modifier = new QComboBox(keys);
    modifier->setObjectName("modifier");
    modifier->addItems(Items(kKeyModifiers));
    key = new QComboBox(keys);
    key->setObjectName("key");
    key->addItems(Items(kKeyNames));
    appendKey = new QPushButton("Append", keys);
    appendKey->setToolTip("Append to keystrokes");
    appendKey->setAutoDefault(false);
    kl->addWidget(modifier);
    kl->addWidget(key);
    kl->addWidget(appendKey);
    auto* values = new QGroupBox("Value", this);
    auto* vl = new QHBoxLayout(values);
    valueName = new QComboBox(values);
    valueName->setObjectName("valueName");
    valueName->addItems(Items(kValueNames));
    appendValue = new QPushButton("A&ppend", values);
    appendValue->setAutoDefault(false);
    vl->addWidget(valueName);
    vl->addWidget(appendValue);
    row->addWidget(keys);
    row->addWidget(values);
    connect(appendKey, &QPushButton::clicked, this, [this] {
        if (onAppend_) onAppend_(KeyCode(modifier->currentText().toStdString(), key->currentText().toStdString()));
    });
    connect(appendValue, &QPushButton::clicked, this, [this] {
        if (onAppend_) onAppend_("[" + valueName->currentText().toStdString() + "]");
    });
}

std::string PopupValueName(QWidget* parent) {
    const QStringList names = Items(kValueNames);
    const int n = Popup(kValueNames, std::nullopt, parent);
    return n >= 1 && n <= names.size() ? names[n - 1].toStdString() : std::string();
}

}  // namespace kr::scriptedit
