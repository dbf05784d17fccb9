#include "settings/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

#include "platform/errors.h"
#include "settings/intconv.h"
#include "settings/profiletext.h"

namespace {

// Values arrive through a buffer of this many characters, its terminator included.
constexpr qsizetype kValueBuffer = 2048;

// A settings file is a few lines; anything near this size is not one, and is
// neither read nor replaced.
constexpr qint64 kMaxFileSize = qint64(256) << 20;

enum class FileState { Missing, Read, Unreadable };

FileState ReadProfileBytes(const QString& path, QByteArray& bytes)
{
    const QFileInfo info(path);
    if (!info.exists())
        return FileState::Missing;
    // Directories, pipes and devices are no settings file: opening a pipe
    // would wait for a writer, a device might never end.
    if (!info.isFile() || info.size() > kMaxFileSize)
        return FileState::Unreadable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileState::Unreadable;
    bytes = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxFileSize)
        return FileState::Unreadable;
    return FileState::Read;
}

QString CutToBuffer(QString value)
{
    if (value.size() >= kValueBuffer) {
        value.truncate(kValueBuffer - 1);
        if (value.back().isHighSurrogate())
            value.chop(1);
    }
    return value;
}

[[noreturn]] void ThrowUnableToWrite(const QString& fileName)
{
    throw EIniFileError(QStringLiteral("Unable to write to %1").arg(fileName));
}

}  // namespace

TIniFile::TIniFile(const QString& fileName) : fileName_(fileName) {}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const
{
    QByteArray bytes;
    if (ReadProfileBytes(fileName_, bytes) != FileState::Read)
        return CutToBuffer(defaultValue);
    const std::optional<QString> value = TProfileText::FromBytes(bytes).Value(section, key);
    return CutToBuffer(value ? *value : defaultValue);
}

qint32 TIniFile::ReadInteger(const QString& section, const QString& key, qint32 defaultValue) const
{
    QString text = ReadString(section, key, QString());
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X'))
        text.replace(0, 2, u'$');
    return TryStrToInt(text).value_or(defaultValue);
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const auto fail = [this] { ThrowUnableToWrite(fileName_); };

    if (fileName_.isEmpty() || !TProfileText::CanStore(section, key, value))
        fail();

    TProfileText text;
    QByteArray bytes;
    switch (ReadProfileBytes(fileName_, bytes)) {
    case FileState::Missing:
        break;
    case FileState::Read:
        text = TProfileText::FromBytes(bytes);
        break;
    case FileState::Unreadable:
        // Replacing what we could not read would lose it.
        fail();
        break;
    }
    if (!text.SetValue(section, key, value))
        fail();

    const QFileInfo info(fileName_);
    if (!QDir().mkpath(info.absolutePath()))
        fail();
    const QByteArray nativeName = QFile::encodeName(fileName_);
    struct stat old {};
    const bool existed = stat(nativeName.constData(), &old) == 0;

    // The new text goes to a temporary file beside the old one, which is
    // renamed over it only when complete; the old file's permissions carry over.
    QSaveFile file(fileName_);
    if (!file.open(QIODevice::WriteOnly))
        fail();
    const QByteArray out = text.ToBytes();
    if (file.write(out) != out.size()) {
        file.cancelWriting();
        fail();
    }
    if (!file.commit())
        fail();
    // QSaveFile carries the permissions over, but gives a file without any
    // write permission its owner's back; a read-only file stays read-only.
    struct stat now {};
    if (existed && stat(nativeName.constData(), &now) == 0 &&
        (now.st_mode & 07777) != (old.st_mode & 07777))
        chmod(nativeName.constData(), old.st_mode & 07777);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, qint32 value)
{
    WriteString(section, key, QString::number(value));
}
