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

bool writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);
