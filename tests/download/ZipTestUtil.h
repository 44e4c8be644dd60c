#pragma once

#include <QByteArray>
#include <QList>

// Builds zip archives in memory with libzip, for tests and the benchmark.
struct ZipEntry
{
    QByteArray name;
    QByteArray data;
    bool directory = false;
    bool store = false; // no compression
};

QByteArray buildZip(const QList<ZipEntry> &entries);

// Rewrites the uncompressed size of every header (local and central) whose
// entry is called name, so the archive claims less than it holds.
QByteArray withDeclaredSize(QByteArray archive, const QByteArray &name, quint32 size);

// Repeats the central directory record of the first entry until the
// archive lists `copies` entries, each named like the first with its last
// two characters replaced by a number, all sharing the first entry's data.
QByteArray withSharedEntries(const QByteArray &archive, int copies);

bool writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);
