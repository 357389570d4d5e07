#include "common/Product.h"

#include <charconv>
#include <system_error>

namespace nuv {

std::string ProductTitle;
std::string HomeAddress;
std::string DemoAddress;
std::string UpdateAddress;

std::string MakerSite() {
    std::string site(MakerHomePage);
    if (!site.empty() && site.back() == '/') site.pop_back();
    return site;
}

void AssignProductConstants() {
    ProductTitle = std::string(ProductTitleText);
    HomeAddress = std::string(MakerHomePage);
    DemoAddress = MakerSite() + "/demo/lumeta/";
    UpdateAddress = "https://" + std::string(MakerHost) + "/update/zelt/";
}

std::string FormatVersion(double version) {
    // std::to_chars never consults the locale; snprintf would print "2,2" under a
    // locale with a decimal comma, which the GUI toolkit may have switched on.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, version, std::chars_format::fixed, 1);
    if (result.ec != std::errc()) return {};
    return std::string(buffer, result.ptr);
}

std::string MainWindowCaption() {
    return ProductTitle + FormatVersion(ProductVersion) + " - " + std::string(MakerHost);
}

}  // namespace nuv
