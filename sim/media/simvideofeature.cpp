#include "sim/media/simvideofeature.h"

#include "sim/device/simcamerasession.h"
#include "sim/device/simioctrldispatcher.h"
#include "sim/media/cliplibrary.h"
#include "sim/media/videostreamer.h"
#include "sim/scenario/scenario.h"

#include <QJsonValue>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct StreamerSlot
{
    std::mutex mutex;
    std::unique_ptr<VideoStreamer> streamer;
};

const char* const kStateKey = "video";

VideoStreamer::Config configOf(const SimCamera& cam)
{
    VideoStreamer::Config config;
    config.name = cam.name.isEmpty() ? cam.did : cam.name;
    config.model = cam.model;
    if (cam.videoWidth >= 16 && cam.videoHeight >= 16)
        config.size = QSize(cam.videoWidth, cam.videoHeight);
    config.fps = cam.fps > 0 ? cam.fps : 20;
    config.audioCodec = cam.audioCodec;
    return config;
}

VideoStreamer& streamerFor(SimCameraSession& session)
{
    auto slot = session.state<StreamerSlot>(kStateKey);
    std::lock_guard<std::mutex> lock(slot->mutex);
    if (!slot->streamer) {
        VideoStreamer::Config config = configOf(session.camera());
        config.mediaKey = session.mediaKey();
        Scenario* scenario = session.scenario();
        const QString did = session.did();
        config.corruptEvery = [scenario, did] {
            SimCamera cam;
            if (!scenario->camera(did, &cam))
                return 0;
            const QJsonValue v = cam.faults.value(QStringLiteral("corrupt_frames"));
            return v.isBool() ? (v.toBool() ? 1 : 0) : qMax(0, v.toInt(0));
        };
        config.audioAlways = [scenario, did] {
            SimCamera cam;
            return scenario->camera(did, &cam) && cam.faults.value(QStringLiteral("audio_always")).toBool();
        };
        slot->streamer = std::make_unique<VideoStreamer>(session.avIndex(), config);
    }
    return *slot->streamer;
}

} // namespace

void SimVideoFeature::prefetch(const Scenario& scenario)
{
    std::vector<ClipParams> all;
    for (const SimCamera& cam : scenario.cameras())
        all.push_back(VideoStreamer::clipParams(configOf(cam), 2));
    std::thread([all] {
        for (const ClipParams& p : all)
            ClipLibrary::instance().clip(p);
    }).detach();
}

void SimVideoFeature::install(SimIoCtrlDispatcher& dispatcher)
{
    const auto handler = [](SimCameraSession& session, unsigned int type, const QByteArray& payload) {
        streamerFor(session).handleIoCtrl(type, payload);
    };
    for (unsigned int type : {VideoStreamer::kIoPlay, VideoStreamer::kIoQuality, VideoStreamer::kIoPlayback,
                              VideoStreamer::kIoAudioStart, VideoStreamer::kIoAudioStop})
        dispatcher.add(type, handler);
    dispatcher.addSessionStartHook([](SimCameraSession& session) {
        // Encode this camera's clip ahead of the first play.
        VideoStreamer::prefetch(configOf(session.camera()));
    });
    dispatcher.addSessionEndHook([](SimCameraSession& session) {
        auto slot = session.state<StreamerSlot>(kStateKey);
        std::unique_ptr<VideoStreamer> gone;
        {
            std::lock_guard<std::mutex> lock(slot->mutex);
            gone = std::move(slot->streamer);
        }
        gone.reset(); // joins the stream thread
    });
}
