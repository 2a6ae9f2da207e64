#include "platform/ui/Icons.h"

#include <QFile>

#include "platform/runtime/Strings.h"

namespace kr {

QIcon IconByName(const std::string& name) {
    std::string n = Lower(Trim(name));
    if (!n.empty() && n.front() == '~') n.erase(0, 1);
    if (n.empty()) return {};
    QString path = QStringLiteral(":/icons/") + QString::fromStdString(n);
    if (!QFile::exists(path)) return {};
    return QIcon(path);
}

}  // namespace kr
