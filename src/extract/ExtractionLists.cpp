#include "extract/ExtractionLists.h"

#include "common/Text.h"

namespace nuv {

void AddressList::Add(std::string entry) {
    firstIndex_.try_emplace(NormalizedKey(entry), static_cast<int>(items_.size()));
    items_.push_back(std::move(entry));
}

void AddressList::Clear() {
    items_.clear();
    firstIndex_.clear();
}

bool AddressList::ContainsNormalized(std::string_view address) const {
    return IndexOfNormalized(address) >= 0;
}

int AddressList::IndexOfNormalized(std::string_view address) const {
    if (items_.empty()) return -1;
    const auto it = firstIndex_.find(NormalizedKey(address));
    return it == firstIndex_.end() ? -1 : it->second;
}

bool ExtractionLists::IsListed(ListKind kind, std::string_view address) const {
    switch (kind) {
        case ListKind::lkImage: return ImageURLs.ContainsNormalized(address);
        case ListKind::lkLink: return LinkURLs.ContainsNormalized(address);
        case ListKind::lkFlash: return FlashURLs.ContainsNormalized(address);
        case ListKind::lkOther: return OtherURLs.ContainsNormalized(address);
    }
    return false;
}

void ExtractionLists::AddImage(const std::string& address, ImageNote note) {
    ImageURLs.Add(address);
    ImageAlts.push_back(address);
    ImageNotes.push_back(std::move(note));
}

void ExtractionLists::AddLink(const std::string& address) {
    LinkURLs.Add(address);
    LinkTexts.push_back(address);
}

void ExtractionLists::ClearImages() {
    ImageURLs.Clear();
    ImageAlts.clear();
    ImageNotes.clear();
}

void ExtractionLists::ClearLinks() {
    LinkURLs.Clear();
    LinkTexts.clear();
}

}  // namespace nuv
