#include "ZipTestUtil.h"

#include <QFile>
#include <QString>
#include <QtEndian>

#include <zip.h>

QByteArray buildZip(const QList<ZipEntry> &entries)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t *archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    if (!archive) {
        zip_source_free(buffer);
        return {};
    }
    zip_source_keep(buffer);
    for (const ZipEntry &entry : entries) {
        zip_int64_t index = -1;
        if (entry.directory) {
            index = zip_dir_add(archive, entry.name.constData(), ZIP_FL_ENC_UTF_8);
        } else {
            zip_source_t *data = zip_source_buffer(archive, entry.data.constData(),
                                                   zip_uint64_t(entry.data.size()), 0);
            index = zip_file_add(archive, entry.name.constData(), data, ZIP_FL_ENC_UTF_8);
            if (index < 0)
                zip_source_free(data);
            else if (entry.store)
                zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
        }
    }
    QByteArray bytes;
    if (zip_close(archive) != 0) {
        zip_discard(archive);
    } else if (zip_source_open(buffer) == 0) { // fails for an archive without entries
        char chunk[65536];
        zip_int64_t n = 0;
        while ((n = zip_source_read(buffer, chunk, sizeof chunk)) > 0)
            bytes.append(chunk, int(n));
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    return bytes;
}

QByteArray withDeclaredSize(QByteArray archive, const QByteArray &name, quint32 size)
{
    auto patch = [&](const QByteArray &signature, int nameLengthAt, int nameAt, int sizeAt) {
        for (int at = archive.indexOf(signature); at >= 0; at = archive.indexOf(signature, at + 4)) {
            const auto *base = reinterpret_cast<const uchar *>(archive.constData()) + at;
            const int nameLength = qFromLittleEndian<quint16>(base + nameLengthAt);
            if (archive.mid(at + nameAt, nameLength) == name)
                qToLittleEndian<quint32>(size, reinterpret_cast<uchar *>(archive.data()) + at + sizeAt);
        }
    };
    patch(QByteArray("PK\x03\x04", 4), 26, 30, 22);
    patch(QByteArray("PK\x01\x02", 4), 28, 46, 24);
    return archive;
}

QByteArray withSharedEntries(const QByteArray &archive, int copies)
{
    const int end = archive.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || copies < 1 || copies > 99)
        return {};
    const auto *bytes = reinterpret_cast<const uchar *>(archive.constData());
    const quint32 directoryAt = qFromLittleEndian<quint32>(bytes + end + 16);
    const uchar *record = bytes + directoryAt;
    const int nameLength = qFromLittleEndian<quint16>(record + 28);
    const int recordLength = 46 + nameLength + qFromLittleEndian<quint16>(record + 30)
                             + qFromLittleEndian<quint16>(record + 32);
    if (nameLength < 2)
        return {};
    const QByteArray first(reinterpret_cast<const char *>(record), recordLength);
    QByteArray directory;
    for (int i = 0; i < copies; ++i) {
        QByteArray copy = first;
        copy[46 + nameLength - 2] = char('0' + i / 10);
        copy[46 + nameLength - 1] = char('0' + i % 10);
        directory += copy;
    }
    QByteArray tail = archive.mid(end, 22);
    qToLittleEndian<quint16>(quint16(copies), reinterpret_cast<uchar *>(tail.data()) + 8);
    qToLittleEndian<quint16>(quint16(copies), reinterpret_cast<uchar *>(tail.data()) + 10);
    qToLittleEndian<quint32>(quint32(directory.size()), reinterpret_cast<uchar *>(tail.data()) + 12);
    return archive.left(int(directoryAt)) + directory + tail;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
