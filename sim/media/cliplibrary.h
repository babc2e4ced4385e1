#pragma once

#include "sim/media/encodedclip.h"

#include <QHash>
#include <QSize>
#include <QString>
#include <condition_variable>
#include <memory>
#include <mutex>

// Process-wide cache of encoded clips: each clip (codec, size, rate, label) is
// encoded once, by the first camera that asks, and then shared read-only by
// every stream that loops it. Cameras asking for a clip that is being encoded
// wait for it instead of encoding it again.
class ClipLibrary
{
public:
    static ClipLibrary& instance();

    std::shared_ptr<const EncodedClip> clip(const ClipParams& params);
    int encodeCount() const;   // clips encoded so far (for tests)
    void clear();

    // The model rule: "hovia.camera.v4" and "lanterra.camera.ipc009" stream
    // H.265, every other model H.264.
    static bool modelUsesH265(const QString& model);
    // Quality values: 0 Auto and 2 HD stream the camera's own size, 1 SD a
    // 640 x 360 picture (or the camera's size if that is smaller); any other
    // value is treated as HD.
    static QSize sizeForQuality(int quality, const QSize& cameraSize);

private:
    ClipLibrary() = default;
    static QString keyOf(const ClipParams& p);

    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    QHash<QString, std::shared_ptr<const EncodedClip>> m_clips;
    QHash<QString, bool> m_pending;
    int m_encodes = 0;
};
