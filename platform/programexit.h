// Ending the program at once from inside a handler. The game calls End() and returns
// straight away; the real implementation never comes back, the recording one used by
// tests only notes the call, so callers must not rely on End() not returning.
#pragma once

#include <functional>

class ProgramExit
{
public:
    virtual ~ProgramExit() = default;
    virtual void End(int status = 0) = 0;
};

// Ends the process without running another event or handler. Everything the programs
// send is handed to the kernel at the time of the send, so nothing queued is lost; the
// kernel closes the connections and the peer sees them close.
class ImmediateExit : public ProgramExit
{
public:
    [[noreturn]] void End(int status = 0) override;
};

// Ends the process as ImmediateExit does, after one last step that must not be skipped
// (the router's port mapping removed).
class ExitAfter : public ProgramExit
{
public:
    explicit ExitAfter(std::function<void()> lastStep) : m_lastStep(std::move(lastStep)) {}
    [[noreturn]] void End(int status = 0) override
    {
        if (m_lastStep)
            m_lastStep();
        ImmediateExit().End(status);
    }

private:
    std::function<void()> m_lastStep;
};

class RecordingExit : public ProgramExit
{
public:
    void End(int status = 0) override
    {
        ++m_calls;
        m_status = status;
    }
    bool ended() const { return m_calls > 0; }
    int calls() const { return m_calls; }
    int status() const { return m_status; }

private:
    int m_calls = 0;
    int m_status = 0;
};
