// The reply collection fed random bytes in random pieces at random times through the fake serial
// control, in virtual time: it must end at the piece that completes the announced count, hold
// what had arrived by then, and wait (until closing) while the count is not complete.

#include "LinkRig.h"

#include <cstdlib>

using namespace tavrin;
using namespace tavrin::test;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LinkRig rig([] {
        DeviceFaults faults;
        faults.silent = true;
        return faults;
    }());
    rig.link.choosePort(1);
    rig.pump.setStallHandler([&] { rig.waiter.close(); });

    // Pieces: a delay in milliseconds, a length, then that many bytes. Pieces due at the same
    // moment arrive as one.
    QByteArray stream;
    std::vector<qsizetype> pieceEnds;
    VirtualTime::Duration lastAt{-1};
    VirtualTime::Duration at{0};
    size_t i = 0;
    while (i + 2 <= size) {
        at += std::chrono::milliseconds(data[i]);
        const size_t length = std::min<size_t>(data[i + 1], size - i - 2);
        const QByteArray piece(reinterpret_cast<const char*>(data + i + 2), qsizetype(length));
        i += 2 + length;
        if (piece.isEmpty())
            continue;
        rig.comm.arriveIn(at, piece);
        stream += piece;
        if (at == lastAt)
            pieceEnds.back() = stream.size();
        else
            pieceEnds.push_back(stream.size());
        lastAt = at;
    }

    const ReadBackResult result = rig.protocol.ReadBack();

    const qsizetype needed = stream.isEmpty() ? 1 : quint8(stream.at(0)) + 1;
    qsizetype completing = -1;
    for (qsizetype end : pieceEnds)
        if (end >= needed) {
            completing = end;
            break;
        }
    if (completing < 0) {
        if (result.outcome != Outcome::Closing)
            std::abort();
        return 0;
    }
    if (result.outcome != Outcome::Completed || result.ReplyBuffer != stream.left(completing))
        std::abort();
    if (DeviceProtocol::replyData(result.ReplyBuffer) != stream.mid(1, needed - 1))
        std::abort();
    return 0;
}
