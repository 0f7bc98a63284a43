#include "StdoutCapture.h"

#include <QtGlobal>

#include <cstdio>
#include <iostream>
#include <unistd.h>

StdoutCapture::StdoutCapture()
{
    if (!file.open()) {
        qWarning("StdoutCapture: cannot create a temporary file");
        return;
    }
    std::cout.flush();
    std::fflush(stdout);
    savedStdout = ::dup(STDOUT_FILENO);
    if (savedStdout < 0 || ::dup2(file.handle(), STDOUT_FILENO) < 0)
        qWarning("StdoutCapture: cannot redirect standard output");
}

StdoutCapture::~StdoutCapture()
{
    finish();
}

QByteArray StdoutCapture::finish()
{
    if (savedStdout < 0)
        return {};
    std::cout.flush();
    std::fflush(stdout);
    ::dup2(savedStdout, STDOUT_FILENO);
    ::close(savedStdout);
    savedStdout = -1;
    file.seek(0);
    return file.readAll();
}
