#pragma once

#include <QByteArray>
#include <QTemporaryFile>

// Sends the process's standard output (C stdio and std::cout alike) into a
// temporary file until finish(), which returns everything written meanwhile.
// Call finish() before any QCOMPARE: Qt Test writes its own report to stdout.
class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    QByteArray finish();

private:
    QTemporaryFile file;
    int savedStdout = -1;
};
