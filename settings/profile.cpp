#include "settings/profile.h"

// Placeholder until the profile layer lands: nothing is stored.
TIniFile::TIniFile(const QString& fileName) : fileName_(fileName) {}
QString TIniFile::ReadString(const QString&, const QString&, const QString& d) const { return d; }
qint32 TIniFile::ReadInteger(const QString&, const QString&, qint32 d) const { return d; }
void TIniFile::WriteString(const QString&, const QString&, const QString&) {}
void TIniFile::WriteInteger(const QString&, const QString&, qint32) {}
