#include "settings/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "common/errors.h"
#include "platform/filereplace.h"
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
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return FileState::Missing;
    // O_NONBLOCK: opening a pipe must not wait for a writer; it is refused below.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? FileState::Missing : FileState::Unreadable;
    struct stat st {};
    // Directories, pipes and devices are no settings file.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
        ::close(fd);
        return FileState::Unreadable;
    }
    // As much memory as the file needs, not as much as it might need: a file
    // that grows while it is read is taken as far as its size said.
    QByteArray data;
    FileState state = FileState::Read;
    try {
        data.resize(qsizetype(st.st_size));
    } catch (const std::bad_alloc&) {
        state = FileState::Unreadable;
    }
    qsizetype done = 0;
    while (state == FileState::Read && done < data.size()) {
        const ssize_t n = ::read(fd, data.data() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            state = FileState::Unreadable;
        else if (n == 0)
            break;  // it shrank
        else
            done += n;
    }
    ::close(fd);
    if (state != FileState::Read)
        return state;
    data.truncate(done);
    bytes = std::move(data);
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
    WriteValues({{section, key, value}});
}

void TIniFile::WriteValues(std::initializer_list<TIniEntry> entries)
{
    const auto fail = [this] { ThrowUnableToWrite(fileName_); };

    if (fileName_.isEmpty())
        fail();

    TProfileText text;
    QByteArray bytes;
    switch (ReadProfileBytes(fileName_, bytes)) {
    case FileState::Missing:
        break;
    case FileState::Read:
        text = TProfileText::FromBytes(bytes);
        bytes = QByteArray();
        break;
    case FileState::Unreadable:
        // Replacing what we could not read would lose it.
        fail();
        break;
    }
    for (const TIniEntry& e : entries)
        if (!text.SetValue(e.section, e.key, e.value))
            fail();

    if (!QDir().mkpath(QFileInfo(fileName_).absolutePath()))
        fail();
    // All the values in one replace: a crash leaves the old file or the new
    // one, never a mixture.
    if (ReplaceFileContent(fileName_, text.ToBytes()))
        fail();
}

void TIniFile::WriteInteger(const QString& section, const QString& key, qint32 value)
{
    WriteString(section, key, QString::number(value));
}
