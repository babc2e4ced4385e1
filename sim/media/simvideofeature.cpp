#include "sim/media/simvideofeature.h"

#include "sim/device/simcamerasession.h"
#include "sim/device/simioctrldispatcher.h"
#include "sim/media/videostreamer.h"

#include <memory>
#include <mutex>

namespace {

struct StreamerSlot
{
    std::mutex mutex;
    std::unique_ptr<VideoStreamer> streamer;
};

const char* const kStateKey = "video";

VideoStreamer& streamerFor(SimCameraSession& session)
{
    auto slot = session.state<StreamerSlot>(kStateKey);
    std::lock_guard<std::mutex> lock(slot->mutex);
    if (!slot->streamer) {
        const SimCamera cam = session.camera();
        VideoStreamer::Config config;
        config.name = cam.name.isEmpty() ? cam.did : cam.name;
        config.model = cam.model;
        if (cam.videoWidth >= 16 && cam.videoHeight >= 16)
            config.size = QSize(cam.videoWidth, cam.videoHeight);
        config.fps = cam.fps > 0 ? cam.fps : 20;
        config.mediaKey = session.mediaKey();
        config.audioCodec = cam.audioCodec;
        slot->streamer = std::make_unique<VideoStreamer>(session.avIndex(), config);
    }
    return *slot->streamer;
}

} // namespace

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
        const SimCamera cam = session.camera();
        VideoStreamer::Config config;
        config.name = cam.name.isEmpty() ? cam.did : cam.name;
        config.model = cam.model;
        if (cam.videoWidth >= 16 && cam.videoHeight >= 16)
            config.size = QSize(cam.videoWidth, cam.videoHeight);
        config.fps = cam.fps > 0 ? cam.fps : 20;
        VideoStreamer::prefetch(config);
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
