#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

// Parses JSON text that came from outside (a camera, the cloud, a web page)
// like QJsonDocument::fromJson, but refuses text in which an object names
// the same member twice: Qt 5.15's parser loses the memory of a replaced
// object or array member, so such text would leak a little at every reply.
// A refused text gives a null document, a warning naming the member, and
// error->error = QJsonParseError::IllegalValue at the member's offset.
class JsonReader
{
public:
    static QJsonDocument parse(const QByteArray& text, QJsonParseError* error = nullptr);

    // The offset of the first member name that repeats one of its object's
    // earlier names (compared after unescaping), or -1. *name gets it.
    static int duplicateMember(const QByteArray& text, QString* name = nullptr);
};
