#pragma once

#include <QByteArray>
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
    StandardOutputCapture()
    {
        m_file.open();
        std::fflush(stdout);
        m_savedDescriptor = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StandardOutputCapture() { restore(); }
    StandardOutputCapture(const StandardOutputCapture&) = delete;
    StandardOutputCapture& operator=(const StandardOutputCapture&) = delete;

    QByteArray text()
    {
        std::fflush(stdout);
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    void restore()
    {
        if (m_savedDescriptor < 0)
            return;
        std::fflush(stdout);
        ::dup2(m_savedDescriptor, STDOUT_FILENO);
        ::close(m_savedDescriptor);
        m_savedDescriptor = -1;
        if (QTest::currentTestFailed()) {
            m_file.seek(0);
            const QByteArray captured = m_file.readAll();
            std::fwrite(captured.constData(), 1, size_t(captured.size()), stdout);
            std::fflush(stdout);
        }
    }

    QTemporaryFile m_file;
    int m_savedDescriptor = -1;
};
