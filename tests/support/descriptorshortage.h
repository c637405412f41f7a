// Running out of descriptors, as a host with too many open files meets it, made inside
// the test process for as long as one object lives, and undone however the row ends: a
// failed check that returns from the row still runs the destructor. The tests also
// compare the process's limit before and after each row, so a shortage that outlived
// its row would fail the next check rather than pass unseen.
#pragma once

#include <QtGlobal>
#include <functional>
#include <sys/resource.h>
#include <vector>

class Host;

// While it is active, no descriptor is free below the soft RLIMIT_NOFILE: every one is
// taken by a duplicate that this object holds. A large limit is brought down first (to
// fill it would take long); release(), or the destructor, closes every duplicate it
// made and puts the limit back as it found it.
class DescriptorShortage
{
public:
    DescriptorShortage();
    ~DescriptorShortage();
    DescriptorShortage(const DescriptorShortage &) = delete;
    DescriptorShortage &operator=(const DescriptorShortage &) = delete;

    // Every descriptor was taken: the next one asked for fails with EMFILE.
    bool active() const { return m_full; }
    void release();

private:
    rlimit m_saved{};
    bool m_lowered = false;
    bool m_full = false;
    std::vector<int> m_held;
};

// The soft descriptor limit this process runs under now.
quint64 descriptorLimit();

// Lets one caller reach `host`'s listener while this process has no descriptor left to
// accept it with. The shortage ends when the listener gives up (its Closed event), so
// the host listens again with descriptors to spare, whichever one its old listener
// freed. Waits up to `ms` for `recovered`, then drops the caller. False when no
// shortage could be made, the listener never gave up, or `recovered` did not hold.
bool failOneAccept(Host &host, const std::function<bool()> &recovered, int ms = 5000);
