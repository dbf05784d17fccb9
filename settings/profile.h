#pragma once
// An INI profile file with the semantics of the Windows profile service:
// sections and keys match without regard to case, every read and write goes
// straight to the file, everything else in the file is kept as it was.

#include <QString>
#include <initializer_list>

struct TIniEntry {
    QString section;
    QString key;
    QString value;
};

class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return fileName_; }

    // At most 2047 characters arrive; longer values are cut.
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // "0x"/"0X" at the start of a longer text reads as "$"; a value that does
    // not convert, or an absent key, gives the default.
    qint32 ReadInteger(const QString& section, const QString& key, qint32 defaultValue) const;

    // Throws EIniFileError "Unable to write to <file>" when the file cannot be
    // written; the old file is then left as it was.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, qint32 value);
    // Several values in one change of the file, in order: all of them are
    // written or, with the same error, none.
    void WriteValues(std::initializer_list<TIniEntry> entries);

private:
    QString fileName_;
};
