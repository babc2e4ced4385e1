#pragma once

#include "camera/rdtapi.h"
#include "camera/recordfileheader.h"

#include <QThread>
#include <QVector>
#include <functional>

class QTimer;

// Opens the RDT channel that the camera was told about, asks for the list of
// recordings on the memory card and delivers it; asks again every 40 s
// (refreshMs). Runs
// its own event loop; its slots run on its own thread.
class RDTUpdatethread : public QThread
{
    Q_OBJECT
public:
    static constexpr int CreateTimeoutMs = 10000;
    static constexpr int ReadTimeoutMs = 5000;
    static constexpr int RefreshMs = 40000;
    static constexpr quint32 TimelineRequest = 6;
    static constexpr int ReplyHeaderSize = 12;
    // A card holds far fewer records; a larger length is a broken reply.
    static constexpr quint32 MaxRecordBytes = 8u * 1024u * 1024u;

    enum FetchResult { Delivered, Empty, Interrupted, Failed };

    // Has no parent: the object moves to its own thread.
    RDTUpdatethread(int sessionId, int channel, const RdtApi& api = RdtApi::library(), int refreshMs = RefreshMs);
    ~RDTUpdatethread() override;

    void stop();
    int rdtId() const { return m_rdtId; }

    // One timeline exchange on an open RDT channel. *err gets the failing
    // result when Failed is returned.
    static FetchResult fetchTimeLine(const RdtApi& api, int rdtId, const std::function<bool()>& interrupted,
                                     QVector<RecordFileHeader>* records, int* err);

signals:
    void failed(int err);
    void rdtStarted(bool success);
    void timeLineReady(QVector<RecordFileHeader> vec);
    void getTimeLine_s();

public slots:
    void handleStarted();
    void handleFinished();
    void handleGetTimeLine();

private:

    const int m_sessionId;
    const int m_channel;
    const int m_refreshMs;
    RdtApi m_api;
    int m_rdtId = -1;
    QTimer* m_timer = nullptr;
};
