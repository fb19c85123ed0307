#include "LanguageCodes.h"

#include <QStringView>

#include <algorithm>
#include <iterator>

namespace {

struct LanguagePair {
    QStringView threeLetters;
    QStringView twoLetters;
};

// ISO 639-2 to ISO 639-1, sorted by the three-letter code; taken from the iso-codes data
// (/usr/share/iso-codes/json/iso_639-2.json: every entry with an alpha_2, under its alpha_3 and
// its bibliographic code).
constexpr LanguagePair languages[] = {
    {u"aar", u"aa"}, {u"abk", u"ab"}, {u"afr", u"af"}, {u"aka", u"ak"}, {u"alb", u"sq"},
    {u"amh", u"am"}, {u"ara", u"ar"}, {u"arg", u"an"}, {u"arm", u"hy"}, {u"asm", u"as"},
    {u"ava", u"av"}, {u"ave", u"ae"}, {u"aym", u"ay"}, {u"aze", u"az"}, {u"bak", u"ba"},
    {u"bam", u"bm"}, {u"baq", u"eu"}, {u"bel", u"be"}, {u"ben", u"bn"}, {u"bih", u"bh"},
    {u"bis", u"bi"}, {u"bod", u"bo"}, {u"bos", u"bs"}, {u"bre", u"br"}, {u"bul", u"bg"},
    {u"bur", u"my"}, {u"cat", u"ca"}, {u"ces", u"cs"}, {u"cha", u"ch"}, {u"che", u"ce"},
    {u"chi", u"zh"}, {u"chu", u"cu"}, {u"chv", u"cv"}, {u"cor", u"kw"}, {u"cos", u"co"},
    {u"cre", u"cr"}, {u"cym", u"cy"}, {u"cze", u"cs"}, {u"dan", u"da"}, {u"deu", u"de"},
    {u"div", u"dv"}, {u"dut", u"nl"}, {u"dzo", u"dz"}, {u"ell", u"el"}, {u"eng", u"en"},
    {u"epo", u"eo"}, {u"est", u"et"}, {u"eus", u"eu"}, {u"ewe", u"ee"}, {u"fao", u"fo"},
    {u"fas", u"fa"}, {u"fij", u"fj"}, {u"fin", u"fi"}, {u"fra", u"fr"}, {u"fre", u"fr"},
    {u"fry", u"fy"}, {u"ful", u"ff"}, {u"geo", u"ka"}, {u"ger", u"de"}, {u"gla", u"gd"},
    {u"gle", u"ga"}, {u"glg", u"gl"}, {u"glv", u"gv"}, {u"gre", u"el"}, {u"grn", u"gn"},
    {u"guj", u"gu"}, {u"hat", u"ht"}, {u"hau", u"ha"}, {u"heb", u"he"}, {u"her", u"hz"},
    {u"hin", u"hi"}, {u"hmo", u"ho"}, {u"hrv", u"hr"}, {u"hun", u"hu"}, {u"hye", u"hy"},
    {u"ibo", u"ig"}, {u"ice", u"is"}, {u"ido", u"io"}, {u"iii", u"ii"}, {u"iku", u"iu"},
    {u"ile", u"ie"}, {u"ina", u"ia"}, {u"ind", u"id"}, {u"ipk", u"ik"}, {u"isl", u"is"},
    {u"ita", u"it"}, {u"jav", u"jv"}, {u"jpn", u"ja"}, {u"kal", u"kl"}, {u"kan", u"kn"},
    {u"kas", u"ks"}, {u"kat", u"ka"}, {u"kau", u"kr"}, {u"kaz", u"kk"}, {u"khm", u"km"},
    {u"kik", u"ki"}, {u"kin", u"rw"}, {u"kir", u"ky"}, {u"kom", u"kv"}, {u"kon", u"kg"},
    {u"kor", u"ko"}, {u"kua", u"kj"}, {u"kur", u"ku"}, {u"lao", u"lo"}, {u"lat", u"la"},
    {u"lav", u"lv"}, {u"lim", u"li"}, {u"lin", u"ln"}, {u"lit", u"lt"}, {u"ltz", u"lb"},
    {u"lub", u"lu"}, {u"lug", u"lg"}, {u"mac", u"mk"}, {u"mah", u"mh"}, {u"mal", u"ml"},
    {u"mao", u"mi"}, {u"mar", u"mr"}, {u"may", u"ms"}, {u"mkd", u"mk"}, {u"mlg", u"mg"},
    {u"mlt", u"mt"}, {u"mon", u"mn"}, {u"mri", u"mi"}, {u"msa", u"ms"}, {u"mya", u"my"},
    {u"nau", u"na"}, {u"nav", u"nv"}, {u"nbl", u"nr"}, {u"nde", u"nd"}, {u"ndo", u"ng"},
    {u"nep", u"ne"}, {u"nld", u"nl"}, {u"nno", u"nn"}, {u"nob", u"nb"}, {u"nor", u"no"},
    {u"nya", u"ny"}, {u"oci", u"oc"}, {u"oji", u"oj"}, {u"ori", u"or"}, {u"orm", u"om"},
    {u"oss", u"os"}, {u"pan", u"pa"}, {u"per", u"fa"}, {u"pli", u"pi"}, {u"pol", u"pl"},
    {u"por", u"pt"}, {u"pus", u"ps"}, {u"que", u"qu"}, {u"roh", u"rm"}, {u"ron", u"ro"},
    {u"rum", u"ro"}, {u"run", u"rn"}, {u"rus", u"ru"}, {u"sag", u"sg"}, {u"san", u"sa"},
    {u"sin", u"si"}, {u"slk", u"sk"}, {u"slo", u"sk"}, {u"slv", u"sl"}, {u"sme", u"se"},
    {u"smo", u"sm"}, {u"sna", u"sn"}, {u"snd", u"sd"}, {u"som", u"so"}, {u"sot", u"st"},
    {u"spa", u"es"}, {u"sqi", u"sq"}, {u"srd", u"sc"}, {u"srp", u"sr"}, {u"ssw", u"ss"},
    {u"sun", u"su"}, {u"swa", u"sw"}, {u"swe", u"sv"}, {u"tah", u"ty"}, {u"tam", u"ta"},
    {u"tat", u"tt"}, {u"tel", u"te"}, {u"tgk", u"tg"}, {u"tgl", u"tl"}, {u"tha", u"th"},
    {u"tib", u"bo"}, {u"tir", u"ti"}, {u"ton", u"to"}, {u"tsn", u"tn"}, {u"tso", u"ts"},
    {u"tuk", u"tk"}, {u"tur", u"tr"}, {u"twi", u"tw"}, {u"uig", u"ug"}, {u"ukr", u"uk"},
    {u"urd", u"ur"}, {u"uzb", u"uz"}, {u"ven", u"ve"}, {u"vie", u"vi"}, {u"vol", u"vo"},
    {u"wel", u"cy"}, {u"wln", u"wa"}, {u"wol", u"wo"}, {u"xho", u"xh"}, {u"yid", u"yi"},
    {u"yor", u"yo"}, {u"zha", u"za"}, {u"zho", u"zh"}, {u"zul", u"zu"},
};

} // namespace

std::optional<QString> twoLetterLanguage(const QString& tag) {
    const QString code = tag.section(u'-', 0, 0).section(u'_', 0, 0).trimmed().toLower();
    if (code.size() == 2) {
        const bool known =
            std::any_of(std::begin(languages), std::end(languages),
                        [&](const LanguagePair& pair) { return pair.twoLetters == code; });
        return known ? std::optional<QString>(code) : std::nullopt;
    }
    const auto found = std::lower_bound(
        std::begin(languages), std::end(languages), code,
        [](const LanguagePair& pair, const QString& key) { return pair.threeLetters < key; });
    if (found == std::end(languages) || found->threeLetters != code)
        return std::nullopt;
    return found->twoLetters.toString();
}
