#pragma once

#include <QEvent>

// Posted by the download dialog to itself after each accepted file, so that
// control returns to the event loop between two files.
class FileSkippedEvent : public QEvent
{
public:
    static constexpr QEvent::Type EventType = QEvent::User; // 1000

    FileSkippedEvent() : QEvent(EventType) {}
    ~FileSkippedEvent() override = default;
};
