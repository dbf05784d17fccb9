#pragma once
// The bytes of an INI profile file and the rules for finding and changing one
// value in them, apart from any file access so that they can be tried on
// plain data. A change touches only the bytes of the entry it changes (or the
// lines it adds): comments, blank lines, the spelling of names, the spacing,
// each line's ending and lines that do not even decode keep their bytes.

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

    // The file's bytes, as read and as changed by SetValue.
    const QByteArray& ToBytes() const { return bytes_; }

    // The whole text, decoded (byte-order mark removed).
    QString Text() const;
    Encoding SourceEncoding() const { return encoding_; }

    // The value of the first matching key in the first matching section, with
    // the space around it removed and one pair of enclosing quotes taken off;
    // nullopt when the section or the key is not there.
    std::optional<QString> Value(QStringView section, QStringView key) const;

    // Replaces the value of the first matching key of the first matching
    // section, or adds the key at the end of its section (after its last
    // non-blank line), or adds "[section]" and the key at the end of the text.
    // New text is encoded as the file is. A value that reading would change
    // (blanks at either end, enclosing quotes) is written in quotes, so that
    // it reads back as given. Returns false, changing nothing, when the names
    // or the value cannot be written so as to read back the same.
    bool SetValue(QStringView section, QStringView key, QStringView value);

    // A line break in any of them would let a value write lines of its own; a
    // ']' in a section name, an '=' in a key name, a key that starts like a
    // comment or a section, empty names and unpaired UTF-16 surrogates (no
    // encoding can store them) would not read back as written.
    static bool CanStore(QStringView section, QStringView key, QStringView value);

private:
    struct Line {
        qsizetype start = 0;       // byte offset of the first unit
        qsizetype contentEnd = 0;  // before the line break
        qsizetype end = 0;         // after the line break
    };
    struct Location;
    class Codec;

    int UnitSize() const { return encoding_ == Encoding::Utf16 ? 2 : 1; }
    char16_t UnitAt(qsizetype offset) const;
    bool NextLine(qsizetype from, Line& line) const;
    Location Find(QStringView section, QStringView key) const;
    QString LineBreak() const;
    bool EndsWithLineBreak() const;

    QByteArray bytes_;
    Encoding encoding_ = Encoding::Utf8;
    bool bigEndian_ = false;   // UTF-16 only
    qsizetype bodyStart_ = 0;  // after the byte-order mark
};
