#include "setkey/vkmap.h"

#include <QStringList>

#include "common/hotkeycode.h"
#include "common/keytable.h"

namespace vk {

QString HotKeyText(quint32 hotKey)
{
    const quint8 key = hotkey::KeyOf(hotKey);
    QStringList parts;
    if (hotKey & hotkey::kCtrl)
        parts << QStringLiteral("Ctrl");
    if (hotKey & hotkey::kShift)
        parts << QStringLiteral("Shift");
    if (hotKey & hotkey::kAlt)
        parts << QStringLiteral("Alt");
    if (key == 0 && parts.isEmpty())
        return QStringLiteral("无");
    if (key != 0)
        parts << keys::KeyName(key);
    return parts.join(QStringLiteral(" + "));
}

}  // namespace vk
