#include "cli/logic/RobotsCache.h"

namespace nuv {

bool RobotsCache::Allows(const std::string& address) {
    const std::string robots = RobotsAddressOf(address);
    if (robots.empty()) return true;
    auto it = sites_.find(robots);
    if (it == sites_.end()) {
        const RobotsAnswer answer = fetch_(robots);
        RobotsRules rules = answer.kind == RobotsAnswer::Kind::Found ? RobotsRules::Parse(answer.text, kRobotsToken)
                            : answer.kind == RobotsAnswer::Kind::Unreachable ? RobotsRules::DisallowAll()
                                                                             : RobotsRules::AllowAll();
        it = sites_.emplace(robots, std::move(rules)).first;
    }
    return it->second.Allows(RobotsPathOf(address));
}

}  // namespace nuv
