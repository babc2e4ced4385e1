#include "sim/devicefeatures/simtimeline.h"

#include <QtEndian>

namespace {

QByteArray records(const QList<SimRecording>& recordings)
{
    QByteArray out;
    for (const SimRecording& rec : recordings) {
        qint64 start = rec.start;
        qint64 left = qMax<qint64>(rec.length, 0);
        do {
            const int len = int(qMin<qint64>(left, 255));
            char r[8] = {};
            qToLittleEndian<quint32>(quint32(start), r);
            r[4] = char(len);
            r[5] = rec.motion ? 1 : 0;
            r[6] = rec.saved ? 1 : 0;
            out.append(r, 8);
            start += len;
            left -= len;
        } while (left > 0);
    }
    return out;
}

} // namespace

QByteArray SimTimeline::reply(const QList<SimRecording>& recordings)
{
    QByteArray area = records(recordings);
    area.append(QByteArray(8, '\0')); // the trailing record
    QByteArray header(12, '\0');
    qToLittleEndian<quint32>(quint32(1), header.data()); // format version, not read by the client
    qToLittleEndian<quint32>(quint32(area.size()), header.data() + 4);
    qToLittleEndian<quint32>(quint32(area.size() / 8), header.data() + 8);
    return header + area;
}

int SimTimeline::recordCount(const QList<SimRecording>& recordings)
{
    return records(recordings).size() / 8;
}
