// Feeds arbitrary bytes as a server's reply through a memory stream into the HTTP
// client: status and header reading, cookies, every body mode, refusals.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/HttpClient.h"

namespace {

// Every connection the client opens reads the same reply, split into reads of a
// size the input chooses.
class ReplayConnector : public nuv::IHttpConnector {
public:
    ReplayConnector(std::string reply, std::size_t chunk) : reply_(std::move(reply)), chunk_(chunk) {}
    std::unique_ptr<nuv::IByteStream> Open(const nuv::HttpAddress&, const nuv::HttpLimits&, nuv::AddressSpace) override {
        return std::make_unique<nuv::MemoryStream>(reply_, chunk_);
    }

private:
    std::string reply_;
    std::size_t chunk_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t chunk = data[0] == 0 ? 1 << 20 : 1 + data[0] % 37;
    std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);
    nuv::HttpLimits limits;
    limits.maxLineLength = 256;  // small limits reach the limit paths with small inputs
    limits.maxHeaderBytes = 1024;
    limits.maxBodyBytes = 4096;
    nuv::HttpClient client(std::make_unique<ReplayConnector>(std::move(reply), chunk), limits, [] { return 1700000000; });
    for (const char* address : {"http://a.b.example/dir/page.htm?q=1", "https://a.b.example:8443/dir/x"}) {
        try {
            client.Get(address);
        } catch (const nuv::HttpError&) {
        }
    }
    return 0;
}
