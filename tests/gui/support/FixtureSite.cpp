#include "support/FixtureSite.h"
#include "platform/QtText.h"

namespace nuv::test {
namespace {

std::string U(const TestHttpServer& site, const char* path) {
    return ToUtf8(site.Url(QString::fromLatin1(path)));
}

}  // namespace

void PutFixtureSite(TestHttpServer& site) {
    site.Put(QStringLiteral("/index.html"),
             "<html><head><link rel=\"stylesheet\" href=\"style/site.css\"></head><body>"
             "<img src=\"img/logo.gif\"><img src=\"IMG/LOGO.GIF\"><img src=\"img/photo.jpeg\">"
             "<embed src=\"media/intro.swf\"><a href=\"player.php?f=x.swf\">player</a>"
             "<a href=\"files/pack.zip\">zip</a><a href=\"docs/page.html\">page</a>"
             "<a href=\"media/Clip.SWF\">clip</a><a href=\"#top\">top</a><a href=\"files/pack.zip\">again</a>"
             "<iframe src=\"frame.html\"></iframe><iframe src=\"about:blank\"></iframe></body></html>");
    site.Put(QStringLiteral("/style/site.css"),
             "body { background: url(../img/bg.png); }\n.logo { background: url(../img/logo.gif) }\n",
             "text/css");
    site.Put(QStringLiteral("/frame.html"),
             "<html><body><img src=\"inner/f.gif\"><iframe src=\"nested.html\"></iframe></body></html>");
    site.Put(QStringLiteral("/nested.html"), "<html><body><img src=\"n.png\"></body></html>");
    for (const char* p : {"/img/logo.gif", "/img/photo.jpeg", "/img/bg.png", "/inner/f.gif", "/n.png"})
        site.Put(QString::fromLatin1(p), QByteArray("picture bytes of ") + p, "image/png");
}

std::string FixturePage(const TestHttpServer& site) { return U(site, "/index.html"); }

FixtureLists ExpectedFixtureLists(const TestHttpServer& site) {
    FixtureLists l;
    l.images = {U(site, "/img/logo.gif"), U(site, "/img/photo.jpeg"), U(site, "/img/bg.png"),
                U(site, "/inner/f.gif"), U(site, "/n.png")};
    l.flash = {U(site, "/media/intro.swf"), U(site, "/x.swf"), U(site, "/media/clip.swf")};
    l.other = {U(site, "/files/pack.zip")};
    l.links = {U(site, "/player.php?f=x.swf"), U(site, "/docs/page.html")};
    l.css = {U(site, "/style/site.css")};
    return l;
}

}  // namespace nuv::test
