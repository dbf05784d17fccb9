#pragma once
// The text of an INI profile file and the rules for finding and changing one
// value in it, apart from any file access so that they can be tried on plain
// text. Everything outside the changed entry is kept as it was: comments,
// blank lines, the spelling of names, the spacing and each line's ending.

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

class TProfileText {
public:
    enum class Encoding { Utf8, Utf16, Gb18030, Latin1 };

    TProfileText() = default;

    // Valid UTF-8 (with or without a byte-order mark) is taken as UTF-8, a
    // text with a UTF-16 byte-order mark as UTF-16; anything else comes from
    // the Windows original's code page and is read as GB18030 where Qt can
    // decode it, else as Latin-1. Any bytes at all give some text.
    static TProfileText FromBytes(const QByteArray& bytes);

    // UTF-8; a UTF-8 byte-order mark the file had is kept.
    QByteArray ToBytes() const;

    const QString& Text() const { return text_; }
    Encoding SourceEncoding() const { return encoding_; }

    // The value of the first matching key in the first matching section, with
    // the space around it removed and one pair of enclosing quotes taken off;
    // nullopt when the section or the key is not there.
    std::optional<QString> Value(QStringView section, QStringView key) const;

    // Replaces the value of the first matching key of the first matching
    // section, or adds the key at the end of its section (after its last
    // non-blank line), or adds "[section]" and the key at the end of the text.
    // Returns false, changing nothing, for names or values that cannot be
    // written so as to read back the same (see CanStore).
    bool SetValue(QStringView section, QStringView key, QStringView value);

    // A line break in any of them would let a value write lines of its own; a
    // ']' in a section name, an '=' in a key name, a key that starts like a
    // comment or a section, and empty names would not read back as written.
    static bool CanStore(QStringView section, QStringView key, QStringView value);

private:
    struct Line {
        qsizetype start = 0;       // first character
        qsizetype contentEnd = 0;  // before the line break
        qsizetype end = 0;         // after the line break
    };
    struct Location;

    bool NextLine(qsizetype from, Line& line) const;
    Location Find(QStringView section, QStringView key) const;
    QString LineBreak() const;

    QString text_;
    Encoding encoding_ = Encoding::Utf8;
    bool utf8Bom_ = false;
};
