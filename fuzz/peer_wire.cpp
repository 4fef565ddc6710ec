// Peer-session frames and datagrams: every frame the decoder takes encodes back to the same bytes,
// and a stream is walked frame by frame to its end or its first bad frame.
#include "FuzzCheck.h"
#include "VornPeerWire.h"
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t at = 0;
    while (at < size) {
        VornPeerWire::Frame frame;
        size_t used = 0;
        const VornPeerWire::Status status = VornPeerWire::Decode(data + at, size - at, &frame, &used);
        if (status != VornPeerWire::Status::Ok) break;
        FUZZ_CHECK(used >= VornPeerWire::HEADER_SIZE && used <= size - at);
        std::vector<uint8_t> again;
        FUZZ_CHECK(VornPeerWire::Encode(frame, &again));
        FUZZ_CHECK(again.size() == used && std::memcmp(again.data(), data + at, used) == 0);
        at += used;
    }
    VornPeerWire::Frame datagram;
    if (VornPeerWire::DecodeDatagram(data, size, &datagram))
        FUZZ_CHECK(datagram.type == VornPeerWire::QUERY || datagram.type == VornPeerWire::ANSWER);
    return 0;
}
