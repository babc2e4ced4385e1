// libFuzzer entry: arbitrary bytes through decryption, decoding and scaling.
// VC_FUZZ_WRITE_SEEDS=<dir> writes a seed corpus of real encrypted H.264 and
// H.265 frames first.
#include "sim/media/clipencoder.h"
#include "sim/media/frameencryptor.h"
#include "tests/camera/videoframefuzz.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>
#include <cstdlib>

extern "C" {
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    av_log_set_level(AV_LOG_QUIET);
    const QByteArray dir = qgetenv("VC_FUZZ_WRITE_SEEDS");
    if (!dir.isEmpty()) {
        QDir().mkpath(QString::fromLocal8Bit(dir));
        const FrameEncryptor enc(fuzzMediaKey());
        for (int codec = 0; codec < 2; ++codec) {
            ClipParams p;
            p.h265 = codec == 1;
            p.width = 160;
            p.height = 96;
            p.fps = 3;
            p.frames = 4;
            p.label = QStringLiteral("Fuzz");
            const EncodedClip clip = ClipEncoder::encode(p);
            for (int i = 0; i < clip.size(); ++i) {
                QFile f(QStringLiteral("%1/seed-%2-%3").arg(QString::fromLocal8Bit(dir)).arg(codec).arg(i));
                if (f.open(QIODevice::WriteOnly))
                    f.write(QByteArray(1, char(codec)) + enc.encrypt(clip.frames.at(i), QByteArray(8, char(i))));
            }
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzVideoFrame(data, size);
    return 0;
}
