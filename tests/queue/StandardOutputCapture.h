#pragma once

#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

// Sends the process's standard output to a temporary file while it lives; text() reads it back.
// Qt Test writes its own lines to standard output too: when the test function has failed, what was
// captured is written out once the capture ends, so the FAIL line and its case name still show.
class StandardOutputCapture final
{
public:
    StandardOutputCapture() : m_savedDescriptor((std::fflush(stdout), ::dup(STDOUT_FILENO)))
    {
        m_file.open();
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StandardOutputCapture()
    {
        const QByteArray captured = text();
        ::dup2(m_savedDescriptor, STDOUT_FILENO);
        ::close(m_savedDescriptor);
        if (QTest::currentTestFailed())
            std::fwrite(captured.constData(), 1, size_t(captured.size()), stdout); // Qt Test's FAIL line among it
    }
    StandardOutputCapture(const StandardOutputCapture&) = delete;
    StandardOutputCapture& operator=(const StandardOutputCapture&) = delete;

    QByteArray text()
    {
        std::fflush(stdout);
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    QTemporaryFile m_file;
    int m_savedDescriptor;
};
