// The camera session against emulated cameras (SimHome): connecting and why
// it fails, every command as the camera receives it, live and card video,
// the receive thread's choices, failures and stale reports, the timeline,
// motor and audio.
#include "camera/audiodevice.h"
#include "camera/audioplayer.h"
#include "camera/avframerecvthread.h"
#include "camera/cameracontroller.h"
#include "camera/cliprecorder.h"
#include "camera/videobuffer.h"
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "p2p/p2pregistry.h"
#include "sim/device/simcameradevice.h"
#include "sim/device/simcamerasession.h"
#include "sim/media/clipencoder.h"
#include "sim/media/frameencryptor.h"
#include "tests/support/audiotestmain.h"
#include "tests/support/logcapture.h"
#include "tests/support/simhome.h"
#include "tests/support/threadsafespy.h"

#include <QDateTime>
#include <QtTest>
#include <future>
#include <csignal>
#include <sys/resource.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

const QByteArray kHome = R"({"seed": "tst-cameralive", "cameras": [
  {"did": "cam-a", "p2p_id": "UID-cam-a", "password": "pw-a", "width": 320, "height": 180, "fps": 20,
   "recordings": [{"start": 1765000000, "length": 60, "motion": true}, {"start": 1765000060, "length": 30, "saved": true}]},
  {"did": "cam-b", "model": "hovia.camera.v4", "p2p_id": "UID-cam-b", "password": "pw-b", "width": 320, "height": 180,
   "fps": 20, "audio_codec": 136},
  {"did": "cam-c", "p2p_id": "UID-cam-c", "password": "pw-c", "width": 800, "height": 450, "fps": 20}]})";
const char* const kStopLine = "timeout,called function IOTC_Connect_Stop_BySID.";

// The test's own camera command: each payload byte sends one frame of the
// script clip (its index; key frames flagged as such), 0xFF a frame with an
// audio codec id on the video channel, 0xFD a frame larger than the receive
// thread's buffer, 0xFE one larger than the channel's receive budget
// (kBudgetKB while the test's channel logs in).
constexpr unsigned kScript = 0x7300;
constexpr unsigned kBudgetKB = 1500;

// Waits for a log line without running this thread's events: what the line
// announces may still be queued here.
bool waitLogged(const LogCapture& log, const QString& line)
{
    QElapsedTimer t;
    t.start();
    while (!log.contains(line) && t.elapsed() < 30000)
        QThread::msleep(5);
    return log.contains(line);
}

// The next picture for which `want` holds; null after a minute (the first
// play of a camera waits for its clip to be encoded).
QImage nextPicture(VideoBuffer& vb, FrameInfo& info, const std::function<bool(const QImage&)>& want = [](const QImage&) { return true; })
{
    QElapsedTimer t;
    t.start();
    for (QImage img; t.elapsed() < 60000; QTest::qWait(5))
        if (!(img = vb.popFrame(info)).isNull() && want(img))
            return img;
    return QImage();
}

// Connects until the result is `want`: the directory may lag behind a change.
int connectFor(CameraController& c, int want)
{
    QElapsedTimer t;
    t.start();
    int r;
    while ((r = c.connCamera()) != want && t.elapsed() < 10000)
        QTest::qWait(50);
    return r;
}

qint64 pcmWritten(CameraController& c)
{
    AudioDevice* d = c.audioPlayer() ? c.audioPlayer()->device() : nullptr;
    return d ? d->pcmBytesWritten() : -1;
}

// An MP4 file's decoded video frames (each packet a picture, pts rising), its last pts and AAC end
// (s), and whether its first picture is the emulator's (the box of chroma 90/200 on the middle row).
struct Clip { int frames = 0, errors = 0; double videoLast = 0, audioEnd = -1; bool emulatorPicture = false; };
Clip readClip(const QString& path)
{
    Clip c;
    AVFormatContext* fmt = nullptr;
    AVCodecContext* dec = avcodec_alloc_context3(nullptr);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* f = av_frame_alloc();
    auto release = qScopeGuard([&] { av_frame_free(&f); av_packet_free(&pkt); avcodec_free_context(&dec); avformat_close_input(&fmt); });
    const int v = avformat_open_input(&fmt, QFile::encodeName(path).constData(), nullptr, nullptr) < 0
            || avformat_find_stream_info(fmt, nullptr) < 0 ? -1 : av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v < 0 || avcodec_parameters_to_context(dec, fmt->streams[v]->codecpar) < 0 || avcodec_open2(dec, avcodec_find_decoder(dec->codec_id), nullptr) < 0)
        return c.errors = 1, c;
    auto receive = [&] {
        for (; avcodec_receive_frame(dec, f) == 0; ++c.frames)
            for (int x = 0; x < f->width / 2 && c.frames == 0; ++x)
                c.emulatorPicture |= f->data[1][f->height / 4 * f->linesize[1] + x] < 110 && f->data[2][f->height / 4 * f->linesize[2] + x] > 180;
    };
    for (int64_t last = INT64_MIN; av_read_frame(fmt, pkt) >= 0; av_packet_unref(pkt)) {
        const AVStream* st = fmt->streams[pkt->stream_index];
        if (st->codecpar->codec_id == AV_CODEC_ID_AAC)
            c.audioEnd = qMax(c.audioEnd, (pkt->pts + pkt->duration) * av_q2d(st->time_base));
        if (pkt->stream_index == v) {
            c.errors += pkt->pts <= last || avcodec_send_packet(dec, pkt) < 0;
            c.videoLast = (last = pkt->pts) * av_q2d(st->time_base);
            receive();
        }
    }
    avcodec_send_packet(dec, nullptr);
    receive();
    return c;
}

// 320 x 180 at 5 fps, 10 frames: key frames 0 and 5.
EncodedClip scriptClip(bool h265)
{
    ClipParams p;
    p.h265 = h265, p.width = 320, p.height = 180, p.fps = 5, p.frames = 10;
    return ClipEncoder::encode(p);
}

// recordingCutShort's child: records the script clip (frame 7 stamped before 6) as H.265 under a
// file size limit (bytes), or as H.264 without one, 21 frames, and waits to be killed.
int recordChild(const char* path, qint64 limit)
{
    const rlimit r{rlim_t(limit), rlim_t(limit)};
    if (limit > 0 && (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &r) != 0))
        return 2;
    const EncodedClip clip = scriptClip(limit > 0);
    ClipRecorder rec({QFile::decodeName(path), limit > 0, false, {}});
    rec.setFailureHandler([](const QString& e) { std::printf("failed: %s\n", qPrintable(e)); });
    const int count = limit > 0 ? 200 : 21;
    for (int i = 0; i < count && (i > 0 || rec.start()); ++i)
        rec.pushVideo(VideoFrame{clip.frames.at(i % 10), AvFrameHeader::fromBytes(FrameEncryptor::header(
            limit > 0 ? FrameEncryptor::kCodecH265 : FrameEncryptor::kCodecH264, clip.keyFrames.at(i % 10), false, 1, 1 + (i == 7 ? 5 : i) * 200000).constData(), 24)}, 0);
    while (limit == 0 && rec.videoFramesWritten() < count)
        QThread::msleep(5);
    std::printf("written %d\n", limit > 0 ? (rec.finish(), rec.videoFramesWritten()) : count);
    std::fflush(stdout);
    return limit > 0 ? 0 : (QThread::sleep(600), 3);
}

} // namespace

class TestCameraLive : public QObject
{
    Q_OBJECT

    SimHome m_home;
    SimIoCtrlDispatcher m_features; // the emulator's handlers, behind the recorder
    EncodedClip m_clip;
    std::mutex m_mutex;
    QStringList m_sent; // "did type payload" of every command

    QStringList sent(const QString& did)
    {
        std::lock_guard<std::mutex> l(m_mutex);
        return m_sent.filter(did + ' ');
    }
    std::unique_ptr<CameraController> connected(const CameraPassport& p, CameraTimings t = CameraTimings())
    {
        auto c = std::make_unique<CameraController>(&p, t);
        return c->connCamera() == 0 ? std::move(c) : nullptr;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QVector<RecordFileHeader>>("QVector<RecordFileHeader>");
        QVERIFY(m_home.start(kHome, SimHome::Cameras));
        SimVideoFeature::install(m_features);
        SimDeviceFeatures::install(m_features);
        for (unsigned type : {0x1FFu, 0x320u, 0xF001u, 0x300u, 0x301u, 0x200u, 0x201u, 0xF005u, 0x2FFu}) {
            m_home.p2p->dispatcher().add(type, [this](SimCameraSession& s, unsigned t, const QByteArray& payload) {
                {
                    std::lock_guard<std::mutex> l(m_mutex);
                    m_sent << QStringLiteral("%1 %2 %3").arg(s.did()).arg(t, 0, 16).arg(
                        payload == QByteArray(8, '\0') ? QStringLiteral("8 zeros") : QString::fromUtf8(payload));
                }
                m_features.dispatch(s, t, payload);
            });
        }
        m_clip = scriptClip(false);
        QVERIFY(m_clip.isValid() && m_clip.keyFrames.at(0) && m_clip.keyFrames.at(5));
        m_home.p2p->dispatcher().add(kScript, [this](SimCameraSession& s, unsigned, const QByteArray& script) {
            const FrameEncryptor enc(s.mediaKey());
            for (const uchar i : script) {
                if (i >= 0xFD)
                    s.sendVideoFrame(QByteArray(i == 0xFF ? 200 : i == 0xFD ? 1100000 : 1600000, 'U'),
                                     FrameEncryptor::header(i == 0xFF ? 138 : FrameEncryptor::kCodecH264, i == 0xFF, false, 1));
                else
                    s.sendVideoFrame(enc.encrypt(m_clip.frames.at(i)),
                                     FrameEncryptor::header(FrameEncryptor::kCodecH264, m_clip.keyFrames.at(i), false, 5000 + i));
            }
        });
    }

    void init()
    {
        for (const char* did : {"cam-a", "cam-b"})
            m_home.setCamera(did, [](SimCamera& c) { c.faults = {}; c.online = true; });
        std::lock_guard<std::mutex> l(m_mutex);
        m_sent.clear();
    }

    void connectCamera_data()
    {
        QTest::addColumn<bool>("signedAccount");
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain account") << false << QByteArray() << 0 << "device is from 127.0.0.1:";
        QTest::newRow("signed account") << true << QByteArray() << 0 << "[UID-cam-a] Mode=LAN";
        QTest::newRow("wrong password") << false << QByteArray("password") << AV_ER_WRONG_VIEWACC_PWD << "avClientStart failed[-20009]";
        QTest::newRow("bad signature") << true << QByteArray("sign") << AV_ER_WRONG_VIEWACC_PWD << "avClientStart failed[-20009]";
        QTest::newRow("camera offline") << false << QByteArray("offline") << IOTC_ER_DEVICE_OFFLINE << "IOTC_Connect_ByUID_Parallel error[-90]";
        QTest::newRow("without resend") << false << QByteArray("p2p_no_resend") << -5 << "Resend disenable[0]";
        QTest::newRow("never answers: stopped by the guard") << false << QByteArray("p2p_stall") << -13 << kStopLine;
    }
    // A failure closes everything; the same controller connects afterwards,
    // once only, and the camera sees the view account and key expected.
    void connectCamera()
    {
        QFETCH(bool, signedAccount);
        QFETCH(QByteArray, change);
        QFETCH(int, expected);
        QFETCH(QString, line);
        CameraPassport p = signedAccount ? m_home.signedPassport("cam-a") : m_home.plainPassport("cam-a");
        if (change == "password")
            p.password = QStringLiteral("wrong");
        else if (change == "sign")
            p.signForAppData = QString(128, QLatin1Char('0'));
        else if (change == "offline")
            m_home.setCamera("cam-a", [](SimCamera& c) { c.online = false; });
        else if (!change.isEmpty())
            m_home.setCameraFaults("cam-a", "{\"" + change + "\": true}");
        auto dev = m_home.p2p->device("cam-a");
        CameraTimings timings;
        timings.connectTimeoutSeconds = 1;
        LogCapture log;
        CameraController c(&p, timings);
        QCOMPARE(connectFor(c, expected), expected);
        QVERIFY2(log.contains(line), qPrintable(log.lines().join('\n')));
        QCOMPARE(log.count(kStopLine), expected == -13 ? 1 : 0);
        if (expected) {
            QVERIFY(!c.connected() && c.sessionId() == -1);
            QTRY_COMPARE(dev->activeSessions(), 0);
            init();
            p = m_home.signedPassport("cam-a");
            QCOMPARE(connectFor(c, 0), 0);
        }
        QCOMPARE(dev->lastViewAccount(), p.sharedKey.isEmpty() ? QByteArray("admin")
            : "{\"account\":\"admin\",\"public_key\":\"" + p.appPublicKey.toHex() + "\",\"sign\":\"" + p.signForAppData.toLatin1() + "\"}");
        QCOMPARE(dev->lastMediaKey(), p.sharedKey);
        const int logins = dev->acceptedLogins();
        QCOMPARE(c.connCamera(), 0);
        QCOMPARE(log.count("already connected!!!!!!!!!!!!!!!!!!!!!!!"), 1);
        QCOMPARE(dev->acceptedLogins(), logins);
        QVERIFY(log.lines().filter("pw-a").isEmpty());
        QCOMPARE(c.stopPlay(), 0);
        QTRY_COMPARE(dev->activeSessions(), 0);
    }

    // An abort reaches its own connect even before the session id exists,
    // and never a session id that another controller claimed after it.
    void abortReachesOnlyItsOwnConnect()
    {
        m_home.setCameraFaults("cam-a", R"({"p2p_stall": true})");
        const CameraPassport p = m_home.plainPassport("cam-a");
        CameraTimings timings;
        timings.connectTimeoutSeconds = 1;
        CameraController a(&p, timings), b(&p, timings);
        LogCapture log;
        const quint64 ticket = a.abortTicket();
        a.abort();
        QCOMPARE(a.connCamera(ticket), -13);
        QCOMPARE(log.count("connect: "), 0); // never started, so no guard either
        QCOMPARE(a.connCamera(), -13);        // a new ticket connects; the guard ends it
        QCOMPARE(log.count(kStopLine), 1);
        // b claims the id a had; a's late abort must leave b's connect alone.
        auto late = std::async(std::launch::async, [&] {
            QElapsedTimer t;
            t.start();
            while (log.count("connect: ") < 2 && t.elapsed() < 30000)
                QThread::msleep(5);
            a.abort();
        });
        QCOMPARE(b.connCamera(), -13); // by its guard, not -14 from a's abort
        late.get();
        QCOMPARE(log.count(kStopLine), 2);
    }

    // What the camera receives, in order, byte for byte.
    void commandsOnTheWire()
    {
        const CameraPassport p = m_home.signedPassport("cam-a");
        LogCapture log;
        VideoBuffer vb(false, p.sharedKey); // outlives the controller's threads
        CameraController c(&p);
        c.setPlayTime(1765000000, 0, 0); // not connected: nothing sent
        c.controlMotor(1);
        QCOMPARE(c.connCamera(), 0);
        QCOMPARE(c.playAudio(), 0); // no player before play
        QVERIFY(log.contains("audio_player already destroyed"));
        QCOMPARE(c.play(&vb, 2, false), 0);
        QCOMPARE(c.play(&vb, 2, false), 4);
        QCOMPARE(c.setVideoQuality(1), 0);
        c.setPlayTime(1765000000, 30, 0);
        c.setPlayTime(1765000000, 0, 1765000100);
        c.setPlayTime(0, 0, 0);
        QCOMPARE(c.playAudio(), 0);
        QCOMPARE(c.stopAudio(), 0);
        c.controlMotor(3); // the head tilts up from 10 to 15 hundredths
        QTRY_VERIFY(log.contains("motor angle changed: 54"));
        QCOMPARE(c.startRDT(), 0);
        c.stopRDT();
        c.disconnCamera();
        const QStringList expected = {
            R"(cam-a 1ff {"enableaudio":0,"videoquality":2})",
            R"(cam-a 320 {"videoquality":1})",
            R"(cam-a f001 {"autoswitchtolive":1,"endtime":0,"offset":30,"sessionid":1765000000,"starttime":1765000000})",
            R"(cam-a f001 {"autoswitchtolive":0,"endtime":1765000100,"offset":0,"sessionid":1765000000,"starttime":1765000000})",
            "cam-a 1ff 8 zeros", "cam-a 300 8 zeros", "cam-a 301 8 zeros",
            R"(cam-a f005 {"operation":3})", R"(cam-a 200 {"channel":1})", R"(cam-a 201 {"channel":1})",
            "cam-a 2ff 8 zeros"};
        QTRY_COMPARE(sent("cam-a"), expected);
    }

    void livePictures_data()
    {
        QTest::addColumn<QString>("did");
        QTest::addColumn<bool>("h265");
        QTest::newRow("H.264") << "cam-a" << false;
        QTest::newRow("H.265") << "cam-b" << true;
    }
    // Pictures of the tile's size, live, then from the card and live again;
    // the scaler is built again for a new size.
    void livePictures()
    {
        QFETCH(QString, did);
        QFETCH(bool, h265);
        const CameraPassport p = m_home.signedPassport(did);
        VideoBuffer vb(h265, p.sharedKey);
        auto c = connected(p);
        QVERIFY(c);
        ThreadSafeSpy failed(c.get(), &CameraController::failed);
        vb.setDstSize(480, 300);
        const quint32 now = quint32(QDateTime::currentSecsSinceEpoch());
        QCOMPARE(c->play(&vb, 2, false), 0);
        FrameInfo info{0, true, 0, 0, {}};
        const QImage pic = nextPicture(vb, info);
        QCOMPARE(pic.size(), QSize(480, 270));
        QCOMPARE(pic.format(), QImage::Format_RGB32);
        int redOverGreen = 0; // the moving box is magenta-ish on grey
        for (int x = 0; x < pic.width(); x += 8)
            redOverGreen = qMax(redOverGreen, qRed(pic.pixel(x, pic.height() / 2)) - qGreen(pic.pixel(x, pic.height() / 2)));
        QVERIFY2(redOverGreen > 60, qPrintable(QString::number(redOverGreen)));
        QVERIFY2(!info.isPlayback && info.timestamp + 2 >= now && info.timestamp < now + 60, qPrintable(QString::number(info.timestamp)));
        QTRY_VERIFY(vb.bytesPerSecond() > 0);
        c->setPlayTime(1765000000, 30, 0);
        QVERIFY(!nextPicture(vb, info, [&](const QImage&) { return info.isPlayback; }).isNull());
        QVERIFY2(info.timestamp >= 1765000030u && info.timestamp < 1765000060u, qPrintable(QString::number(info.timestamp)));
        c->setPlayTime(0, 0, 0);
        vb.setDstSize(320, 180);
        QVERIFY(!nextPicture(vb, info, [&](const QImage& i) { return !info.isPlayback && i.width() == 320; }).isNull());
        QVERIFY(info.timestamp + 2 >= now);
        QCOMPARE(vb.scalerBuilds(), 2);
        QCOMPARE(c->stopPlay(), 0);
        QCOMPARE(failed.count(), 0);
    }

    // Video waits for a key frame, again after decoding was off and after a
    // frame too large or lost; audio ids on the video channel never reach the
    // decoder; a stop is no failure.
    void receiveThread()
    {
        const CameraPassport p = m_home.signedPassport("cam-a");
        avClientSetMaxBufSize(kBudgetKB);
        auto c = connected(p);
        avClientSetMaxBufSize(5000);
        QVERIFY(c);
        VideoBuffer vb(false, p.sharedKey);
        vb.setDstSize(320, 180);
        struct Counts : AvframeRecvThread::Observer
        {
            std::atomic<int> n[EventCount]{};
            void frameEvent(Event e, const AvFrameHeader&, qint64, qint64) override { ++n[e]; }
        } st;
        using O = AvframeRecvThread::Observer;
        AvframeRecvThread thread(c->avIndex(), &vb, nullptr, AvframeRecvThread::kNoFrameTimeoutMs, &st);
        ThreadSafeSpy failed(&thread, &AvframeRecvThread::failed);
        thread.start();
        auto script = [&](const QByteArray& frames, int videoTotal) {
            QCOMPARE(avSendIOCtrl(c->avIndex(), kScript, frames.constData(), frames.size()), 0);
            QTRY_COMPARE_WITH_TIMEOUT(st.n[O::VideoFrame].load(), videoTotal, 30000);
        };
        script(QByteArray::fromHex("070809ff00ff01020304"), 8);
        QCOMPARE(st.n[O::AudioFrame].load(), 2);
        QCOMPARE(st.n[O::SkippedForKey].load(), 3);
        QTRY_COMPARE(st.n[O::DecodeAttempt].load(), 5);
        QTRY_COMPARE(st.n[O::Queued].load(), 5);
        FrameInfo info;
        QVERIFY(!vb.popFrame(info).isNull());
        QCOMPARE(info.timestamp, 5000u); // the key frame's
        vb.setDecodeEnabled(false);
        script(QByteArray::fromHex("000102"), 11);
        vb.setDecodeEnabled(true);
        script(QByteArray::fromHex("03040506"), 15);
        QTRY_COMPARE(st.n[O::SkippedForKey].load(), 7);
        QTRY_COMPARE(st.n[O::DecodeAttempt].load(), 7);
        while (!vb.popFrame(info).isNull()) {} // room for the next pictures
        script(QByteArray::fromHex("fd06070506fe080905"), 22);
        QTRY_COMPARE(st.n[O::SkippedForKey].load(), 11);
        QTRY_COMPARE(st.n[O::DecodeAttempt].load(), 10);
        thread.stop();
        QVERIFY(thread.wait(10000));
        QCOMPARE(failed.count(), 0);
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("how");
        QTest::addColumn<bool>("stopFirst");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("line");
        QTest::newRow("camera leaves") << QByteArray("offline") << false << -20015 << "stop reading video frame:-20015";
        QTest::newRow("camera leaves, stopped first") << QByteArray("offline") << true << 0 << "stop reading video frame:-20015";
        QTest::newRow("no frame in time") << QByteArray("p2p_mute") << false << -20011 << "seconds passed and quit loop";
        QTest::newRow("card refuses the timeline") << QByteArray("rdt_refuse") << false << 1 << "RDT_Create failed[-10011]";
        QTest::newRow("card refuses, stopped first") << QByteArray("rdt_refuse") << true << 0 << "RDT_Create failed[-10011]";
    }
    // A failure of the video or timeline thread reaches the client, unless
    // the thread was stopped before its report came in.
    void failures()
    {
        QFETCH(QByteArray, how);
        QFETCH(bool, stopFirst);
        QFETCH(int, expected);
        QFETCH(QString, line);
        const bool timeline = how == "rdt_refuse";
        const CameraPassport p = m_home.signedPassport("cam-b");
        CameraTimings timings;
        timings.noFrameTimeoutMs = how == "p2p_mute" ? 2000 : 30000;
        VideoBuffer vb(true, p.sharedKey);
        auto c = connected(p, timings);
        QVERIFY(c);
        ThreadSafeSpy failed(c.get(), timeline ? SIGNAL(rdtStartFailed()) : SIGNAL(failed(int)));
        LogCapture log;
        FrameInfo info;
        if (timeline) {
            m_home.setCameraFaults("cam-b", R"({"rdt_refuse": true})");
            QCOMPARE(c->startRDT(), 0);
        } else {
            QCOMPARE(c->play(&vb, 2, false), 0);
            QVERIFY(!nextPicture(vb, info).isNull());
            vb.setDecodeEnabled(false); // the thread reads on, never held by a full picture queue
            if (how == "offline")
                m_home.setCamera("cam-b", [](SimCamera& cam) { cam.online = false; });
            else
                m_home.setCameraFaults("cam-b", "{\"" + how + "\": true}");
        }
        QVERIFY(waitLogged(log, line));
        if (stopFirst) {
            timeline ? c->stopRDT() : void(c->stopPlay()); // the report is queued by now
            QCoreApplication::sendPostedEvents();
            QCOMPARE(failed.count(), 0);
            QVERIFY(timeline || log.contains("camera cam-b: error -20015 of a stopped stream dropped"));
        } else {
            QTRY_COMPARE(failed.count(), 1);
            QVERIFY(timeline || failed.at(0).at(0).toInt() == expected);
        }
    }

    // The session's own stop ends the timeline thread's read of a card that
    // never answers at once, not at the read's 5 s time-out.
    void stopEndsAHangingTimelineRead()
    {
        m_home.setCameraFaults("cam-a", R"({"timeline_silent": true})");
        auto c = connected(m_home.plainPassport("cam-a"));
        QVERIFY(c);
        QCOMPARE(c->startRDT(), 0);
        QElapsedTimer t;
        t.start();
        QCOMPARE(c->stopPlay(), 0);
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
    }

    // A camera that sends its audio though nobody reads it: once the audio
    // has filled its budget only audio is lost, and pictures keep coming.
    void unreadAudioLeavesTheVideo()
    {
        m_home.setCameraFaults("cam-a", R"({"audio_always": true})");
        const CameraPassport p = m_home.signedPassport("cam-a");
        VideoBuffer vb(false, p.sharedKey);
        avClientSetMaxBufSize(16);
        auto c = connected(p);
        avClientSetMaxBufSize(5000);
        QVERIFY(c);
        vb.setDecodeEnabled(false); // the thread reads on, never held by a full picture queue
        QCOMPARE(c->play(&vb, 2, false), 0);
        const auto s = vcp2p::P2PRegistry::instance().session(c->sessionId());
        QVERIFY(s);
        auto audioLost = [&] {
            std::lock_guard<std::mutex> l(s->mutex);
            return !s->av[0].audio.empty() && s->av[0].audio.back().lost;
        };
        QTRY_VERIFY_WITH_TIMEOUT(audioLost(), 30000);
        const qint64 fullUs = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now().time_since_epoch()).count();
        vb.setDecodeEnabled(true);
        FrameInfo info;
        QVERIFY(!nextPicture(vb, info, [&](const QImage&) { return info.receivedUs > fullUs; }).isNull());
        QCOMPARE(c->stopPlay(), 0);
    }

    // The card's list at once and again at every refresh; a fresh channel
    // after a stop.
    void timeline()
    {
        const CameraPassport p = m_home.plainPassport("cam-a");
        CameraTimings timings;
        timings.timelineRefreshMs = 300;
        auto c = connected(p, timings);
        QVERIFY(c);
        QSignalSpy ready(c.get(), &CameraController::timeLineReady);
        QCOMPARE(c->startRDT(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(ready.count() >= 2, 30000);
        const auto v = ready.first().first().value<QVector<RecordFileHeader>>();
        QCOMPARE(v.size(), 3); // two recordings and the card's trailing record
        QCOMPARE(QVector<quint32>({v[0].startTime, v[0].motioned, v[1].startTime, v[1].saved}), QVector<quint32>({1765000000, 1, 1765000060, 1}));
        QCOMPARE(c->startRDT(), 4);
        c->stopRDT();
        ready.clear();
        QCOMPARE(c->startRDT(), 0);
        QTRY_COMPARE(sent("cam-a").filter(" 200 ").join(';'), QString(R"(cam-a 200 {"channel":1};cam-a 200 {"channel":2})"));
    }

    void audio_data()
    {
        QTest::addColumn<QString>("did");
        QTest::newRow("A-law camera") << "cam-a";
        QTest::newRow("PCM camera") << "cam-b";
    }
    // The tone becomes PCM in the player's device, off and on while playing.
    void audio()
    {
        QFETCH(QString, did);
        const CameraPassport p = m_home.signedPassport(did);
        VideoBuffer vb(did == "cam-b", p.sharedKey);
        auto c = connected(p);
        QVERIFY(c);
        QCOMPARE(c->play(&vb, 1, true), 0);
        QTRY_VERIFY_WITH_TIMEOUT(pcmWritten(*c) > 16000, 60000); // a second of 8 kHz
        QCOMPARE(c->playAudio(), 0); // already on
        QCOMPARE(c->stopAudio(), 0);
        QVERIFY(!c->audioPlayer()->isRunning());
        QCOMPARE(pcmWritten(*c), qint64(-1));
        c->audioPlayer()->setHeadless(true); // on again, read here instead of by an output
        QCOMPARE(c->playAudio(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(pcmWritten(*c) > 8000, 60000);
        QByteArray pcm(8000, '\0'); // half a second of the 440 Hz tone, amplified
        QCOMPARE(c->audioPlayer()->device()->read(pcm.data(), pcm.size()), qint64(pcm.size()));
        int peak = 0, crossings = 0;
        for (int i = 2; i < pcm.size(); i += 2) {
            const qint16 a = qFromLittleEndian<qint16>(pcm.constData() + i - 2), b = qFromLittleEndian<qint16>(pcm.constData() + i);
            peak = qMax(peak, qAbs(int(b)));
            crossings += (a < 0) != (b < 0);
        }
        QVERIFY2(peak > 28000 && qAbs(crossings / 2 - 220) <= 3, qPrintable(QStringLiteral("%1 %2").arg(peak).arg(crossings)));
        QCOMPARE(c->stopPlay(), 0);
        QVERIFY(!c->audioPlayer());
        QCOMPARE(sent(did).first(), did + R"( 1ff {"enableaudio":1,"videoquality":1})");
    }

    // Seconds of a camera's stream from a key frame: every frame decodes; a new picture size goes on
    // in a second file, at the camera's 20 fps, its sound ending with the video.
    void record()
    {
        const CameraPassport p = m_home.signedPassport("cam-c");
        VideoBuffer vb(false, p.sharedKey);
        vb.setDecodeEnabled(false); // as in a hidden tile, which records on
        QTemporaryDir dir;
        auto c = connected(p);
        QVERIFY(c);
        QCOMPARE(c->play(&vb, 2, true), 0);
        RecordTap tap;
        vb.setRecordTap(&tap);
        c->audioPlayer()->setRecordTap(&tap);
        // The sound is off at the start and turned on after 50 frames: the
        // next file, from the next key frame, has it; then a quality switch.
        auto rec = std::make_shared<ClipRecorder>(ClipRecorder::Config{dir.filePath("r.mp4"), false, false, p.sharedKey});
        QVERIFY(rec->start());
        tap.attach(rec);
        QTRY_VERIFY_WITH_TIMEOUT(rec->videoFramesWritten() >= 50, 60000);
        rec->setAudio(true);
        QTRY_VERIFY_WITH_TIMEOUT(rec->files().size() == 2 && rec->videoFramesWritten() >= 100, 60000);
        c->setVideoQuality(1);
        QTRY_VERIFY_WITH_TIMEOUT(rec->files().size() == 3 && rec->videoFramesWritten() >= 160, 60000); // 35 or more in the last
        tap.detach();
        QCOMPARE(rec->finish(), QString());
        QCOMPARE(c->stopPlay(), 0);
        const Clip clip = readClip(dir.filePath("r.mp4")), sound = readClip(dir.filePath("r_2.mp4")),
                   next = readClip(dir.filePath("r_3.mp4"));
        const double span = (next.frames - 1) / 20.0; // the last frame's time at 20 fps
        QVERIFY(clip.frames >= 50 && sound.frames >= 1 && next.frames >= 1 && clip.emulatorPicture);
        QCOMPARE(clip.frames + sound.frames + next.frames, rec->videoFramesWritten());
        QCOMPARE(clip.errors + sound.errors + next.errors, 0);
        QVERIFY2(next.videoLast > span - 0.1 && next.videoLast < span * 1.3, qPrintable(QString::number(next.videoLast)));
        QVERIFY2(clip.audioEnd < 0 && sound.audioEnd > sound.videoLast, qPrintable(QStringLiteral("%1 %2 %3").arg(clip.audioEnd).arg(sound.audioEnd).arg(sound.videoLast)));
        QVERIFY2(qAbs(next.audioEnd - next.videoLast) < 0.3, qPrintable(QStringLiteral("%1 %2 %3").arg(next.audioEnd).arg(next.videoLast).arg(next.frames)));
    }

    void recordingCutShort_data()
    {
        QTest::addColumn<qint64>("sizeLimit");
        QTest::newRow("killed") << qint64(0);
        QTest::newRow("disk full") << qint64(40000);
    }
    // Cut short, by a kill or by the file size limit (told), a recording keeps its whole fragments.
    void recordingCutShort()
    {
        QFETCH(qint64, sizeLimit);
        const QByteArray output = sizeLimit ? "failed: recording stopped, cannot write c.mp4: File too large" : "written 21";
        QTemporaryDir dir;
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--record-child", dir.filePath("c.mp4"), QString::number(sizeLimit)});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += child.readAllStandardOutput()).contains(output) && out.contains("written"), 60000);
        if (sizeLimit == 0)
            child.kill();
        QTRY_COMPARE_WITH_TIMEOUT(child.state(), QProcess::NotRunning, 60000);
        const Clip clip = readClip(dir.filePath("c.mp4"));
        QCOMPARE(clip.errors, 0);
        QCOMPARE(clip.frames, out.mid(out.indexOf("written ") + 8).trimmed().toInt() - (sizeLimit ? 5 : 1)); // the last fragment's
        QVERIFY(clip.frames >= 10 && clip.audioEnd < 0);
    }
};

#define main vcTestMain
VC_AUDIO_TEST_GUILESS_MAIN(TestCameraLive)
#undef main
int main(int argc, char* argv[])
{
    return argc == 4 && !qstrcmp(argv[1], "--record-child") ? recordChild(argv[2], atoll(argv[3])) : vcTestMain(argc, argv);
}
#include "tst_cameralive.moc"
