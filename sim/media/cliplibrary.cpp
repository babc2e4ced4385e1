#include "sim/media/cliplibrary.h"

#include "sim/media/clipencoder.h"

#include <QDebug>

#include <mutex>

ClipLibrary& ClipLibrary::instance()
{
    // Never destroyed: background encodes may still run at process exit.
    static ClipLibrary* library = new ClipLibrary;
    return *library;
}

QString ClipLibrary::keyOf(const ClipParams& p)
{
    return QStringLiteral("%1%7|%2x%3|%4|%5|%6")
        .arg(p.h265 ? QStringLiteral("h265") : QStringLiteral("h264"))
        .arg(p.width)
        .arg(p.height)
        .arg(p.fps)
        .arg(p.frames)
        .arg(p.label)
        .arg(p.gray ? QStringLiteral("-gray") : QString());
}

std::shared_ptr<const EncodedClip> ClipLibrary::clip(const ClipParams& params)
{
    const QString key = keyOf(params);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        auto it = m_clips.constFind(key);
        if (it != m_clips.constEnd())
            return it.value();
        if (!m_pending.contains(key))
            break;
        m_done.wait(lock);
    }
    m_pending.insert(key, true);
    lock.unlock();

    QString error;
    auto encoded = std::make_shared<const EncodedClip>(ClipEncoder::encode(params, &error));
    if (!encoded->isValid())
        qWarning("sim: cannot encode the test clip %s: %s", qPrintable(key), qPrintable(error));

    lock.lock();
    m_pending.remove(key);
    ++m_encodes;
    if (encoded->isValid())
        m_clips.insert(key, encoded);
    m_done.notify_all();
    return encoded;
}

int ClipLibrary::encodeCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_encodes;
}

void ClipLibrary::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clips.clear();
    m_encodes = 0;
}

bool ClipLibrary::modelUsesH265(const QString& model)
{
    return model == QLatin1String("hovia.camera.v4") || model == QLatin1String("lanterra.camera.ipc009");
}

QSize ClipLibrary::sizeForQuality(int quality, const QSize& cameraSize)
{
    const QSize full = cameraSize.isValid() ? cameraSize : QSize(1280, 720);
    if (quality == 1) {
        const QSize sd(640, 360);
        return (full.width() <= sd.width() || full.height() <= sd.height()) ? full : sd;
    }
    return full;
}
