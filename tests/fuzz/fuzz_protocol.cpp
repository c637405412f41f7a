// libFuzzer target for the receiving side: arbitrary bytes, cut into a few reads, go
// through a MessageStream, and every text it hands on is dispatched on both sides.
// The first input byte says how many cuts there are (0 to 3) and the next ones where
// they fall, so the fuzzer explores splits as well as contents. Any broken invariant
// aborts, which libFuzzer reports as a crash with the input that caused it.
#include "protocol/dispatch.h"
#include "protocol/messages.h"
#include "protocol/messagestream.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QByteArray &detail = {})
{
    std::fprintf(stderr, "invariant broken: %s [%s]\n", what, detail.toHex(' ').constData());
    std::abort();
}

class CheckingHandler : public MessageHandler
{
public:
    void onHello() override { ++calls; }
    void onPlaced() override { ++calls; }
    void onFirstShot(bool) override { ++calls; }
    void onShot(int cell) override
    {
        if (cell < 0 || cell > 63)
            fail("shot outside the board");
        ++calls;
    }
    void onResult(bool) override { ++calls; }
    void onMake() override { ++calls; }
    void onKati() override { ++calls; }
    int calls = 0;
};

bool isHeldPrefix(const QByteArray &pending)
{
    if (pending == "2")
        return true;
    for (const QByteArray &text : {wire::hello(), wire::busy(), wire::placed(), wire::youFirst(),
                                   wire::meFirst(), wire::hit(), wire::miss(), wire::make(),
                                   wire::kati()}) {
        if (pending.size() < text.size() && text.startsWith(pending))
            return true;
    }
    return false;
}

void checkText(const QByteArray &text)
{
    if (text.isEmpty())
        fail("empty text handed on");
    if (text.size() > MessageStream::maxOtherText)
        fail("text longer than the other-text limit", text.left(16));
    for (const Side side : {Side::Client, Side::Host}) {
        CheckingHandler handler;
        const bool acted = dispatch(text, side, handler);
        if (handler.calls > 1)
            fail("one text called the handler more than once", text);
        if (acted != (handler.calls == 1))
            fail("dispatch result disagrees with the calls made", text);
        const char type = text.front();
        if (acted && (type < '0' || type > '4'))
            fail("a text that starts with no type digit acted", text);
        if (acted && side == Side::Host && type == '0')
            fail("the host acted on a type-0 text", text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t cuts = data[0] % 4;
    if (size < 1 + cuts)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data + 1 + cuts),
                           qsizetype(size - 1 - cuts));

    QList<qsizetype> bounds{0};
    for (std::size_t i = 0; i < cuts; ++i) {
        const qsizetype room = input.size() - bounds.back();
        bounds.append(bounds.back() + (room > 0 ? data[1 + i] % (room + 1) : 0));
    }
    bounds.append(input.size());

    MessageStream stream;
    qint64 handedOn = 0;
    qsizetype cursor = 0;
    for (qsizetype i = 0; i + 1 < bounds.size(); ++i) {
        const QByteArray chunk = input.mid(bounds[i], bounds[i + 1] - bounds[i]);
        for (const QByteArray &text : stream.feed(chunk)) {
            checkText(text);
            // Texts come out in input order, unchanged; only whole texts are left out.
            const qsizetype at = input.indexOf(text, cursor);
            if (at < 0)
                fail("text not found in order in the input", text);
            cursor = at + text.size();
            handedOn += text.size();
        }
        const QByteArray pending = stream.pending();
        if (pending.size() > MessageStream::maxPending)
            fail("held back more than maxPending", pending);
        if (!pending.isEmpty() && !isHeldPrefix(pending))
            fail("held back bytes that are no prefix of a message", pending);
        if (handedOn + stream.dropped() + pending.size() != bounds[i + 1])
            fail("bytes handed on, dropped and held do not add up to the bytes fed");
    }
    return 0;
}
