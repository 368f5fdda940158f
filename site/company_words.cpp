// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/company_words.h"

#include <array>

namespace tickora::site {
namespace {

using namespace std::string_view_literals;

constexpr std::array kIndustries = {
    "水産・農林業"sv,     "鉱業"sv,       "建設業"sv,     "食料品"sv,           "繊維製品"sv,
    "パルプ・紙"sv,       "化学"sv,       "医薬品"sv,     "石油・石炭製品"sv,   "ゴム製品"sv,
    "ガラス・土石製品"sv, "鉄鋼"sv,       "非鉄金属"sv,   "金属製品"sv,         "機械"sv,
    "電気機器"sv,         "輸送用機器"sv, "精密機器"sv,   "その他製品"sv,       "電気・ガス業"sv,
    "陸運業"sv,           "海運業"sv,     "空運業"sv,     "倉庫・運輸関連業"sv, "情報・通信"sv,
    "卸売業"sv,           "小売業"sv,     "銀行業"sv,     "証券業"sv,           "保険業"sv,
    "その他金融業"sv,     "不動産業"sv,   "サービス業"sv,
};

constexpr std::array kStems = {
    "日本"sv,       "東洋"sv,       "大和"sv,     "三光"sv,     "北海"sv,         "中央"sv,
    "新日"sv,       "東京"sv,       "大阪"sv,     "名古屋"sv,   "九州"sv,         "四国"sv,
    "北陸"sv,       "関東"sv,       "関西"sv,     "東北"sv,     "山陽"sv,         "太平洋"sv,
    "富士"sv,       "旭"sv,         "昭和"sv,     "大同"sv,     "丸一"sv,         "共和"sv,
    "協和"sv,       "第一"sv,       "日東"sv,     "日新"sv,     "明治"sv,         "大正"sv,
    "三和"sv,       "千代田"sv,     "横浜"sv,     "神戸"sv,     "京都"sv,         "広島"sv,
    "静岡"sv,       "岡山"sv,       "新潟"sv,     "長野"sv,     "札幌"sv,         "仙台"sv,
    "福岡"sv,       "熊本"sv,       "鹿児島"sv,   "沖縄"sv,     "朝日"sv,         "極東"sv,
    "帝国"sv,       "国際"sv,       "菱光"sv,     "高砂"sv,     "栗田"sv,         "片倉"sv,
    "黒崎"sv,       "品川"sv,       "田辺"sv,     "森永"sv,     "加藤"sv,         "佐藤"sv,
    "鈴木"sv,       "高橋"sv,       "伊藤"sv,     "渡辺"sv,     "山本"sv,         "中村"sv,
    "小林"sv,       "松本"sv,       "井上"sv,     "木村"sv,     "清水"sv,         "山崎"sv,
    "池田"sv,       "阿部"sv,       "橋本"sv,     "石川"sv,     "前田"sv,         "藤田"sv,
    "岡田"sv,       "後藤"sv,       "長谷川"sv,   "村上"sv,     "近藤"sv,         "石井"sv,
    "坂本"sv,       "遠藤"sv,       "青木"sv,     "藤井"sv,     "西村"sv,         "福田"sv,
    "太田"sv,       "三浦"sv,       "藤原"sv,     "岡本"sv,     "松田"sv,         "中島"sv,
    "中川"sv,       "原田"sv,       "小野"sv,     "竹内"sv,     "金子"sv,         "和田"sv,
    "中山"sv,       "石田"sv,       "上田"sv,     "森田"sv,     "丸紅"sv,         "三協"sv,
    "東邦"sv,       "西部"sv,       "南海"sv,     "北越"sv,     "瀬戸内"sv,       "琵琶湖"sv,
    "常磐"sv,       "越後"sv,       "信越"sv,     "甲陽"sv,     "伊勢"sv,         "紀州"sv,
    "播磨"sv,       "出雲"sv,       "讃岐"sv,     "土佐"sv,     "筑紫"sv,         "肥後"sv,
    "薩摩"sv,       "琉球"sv,       "アルファ"sv, "サン"sv,     "テクノ"sv,       "ユニ"sv,
    "ネクスト"sv,   "グローバル"sv, "エース"sv,   "ダイヤ"sv,   "セントラル"sv,   "トップ"sv,
    "ニュー"sv,     "プラス"sv,     "ライフ"sv,   "メディア"sv, "フロンティア"sv, "パシフィック"sv,
    "オリエント"sv, "スター"sv,     "ヤマト"sv,   "ミナト"sv,   "光"sv,           "栄"sv,
    "泉"sv,         "桜"sv,         "若葉"sv,     "白鳥"sv,     "青葉"sv,         "松竹"sv,
};

constexpr std::array kSuffix1 = {"水産"sv, "漁業"sv, "農産"sv, "種苗"sv, "畜産"sv};
constexpr std::array kSuffix2 = {"鉱業"sv, "石油開発"sv, "資源"sv, "鉱山"sv};
constexpr std::array kSuffix3 = {"建設"sv, "工務店"sv, "組"sv,   "建工"sv,
                                 "土木"sv, "住宅"sv,   "道路"sv, "設備工業"sv};
constexpr std::array kSuffix4 = {"食品"sv, "製菓"sv, "製粉"sv, "製糖"sv,   "乳業"sv,
                                 "酒造"sv, "ハム"sv, "醤油"sv, "製パン"sv, "飲料"sv};
constexpr std::array kSuffix5 = {"紡績"sv, "織物"sv, "繊維"sv, "毛織"sv, "染工"sv};
constexpr std::array kSuffix6 = {"製紙"sv, "紙業"sv, "パルプ"sv, "紙器"sv};
constexpr std::array kSuffix7 = {"化学"sv, "化成"sv,     "化工"sv,     "塗料"sv,
                                 "合成"sv, "ペイント"sv, "化学工業"sv, "樹脂"sv};
constexpr std::array kSuffix8 = {"製薬"sv, "薬品"sv, "新薬"sv, "薬品工業"sv};
constexpr std::array kSuffix9 = {"石油"sv, "燃料"sv, "油化"sv, "石炭"sv};
constexpr std::array kSuffix10 = {"ゴム"sv, "護謨"sv, "ゴム工業"sv};
constexpr std::array kSuffix11 = {"硝子"sv, "セメント"sv, "窯業"sv, "碍子"sv, "耐火"sv};
constexpr std::array kSuffix12 = {"製鋼"sv, "製鉄"sv, "鋼業"sv, "特殊鋼"sv};
constexpr std::array kSuffix13 = {"電線"sv, "金属鉱業"sv, "伸銅"sv, "精錬"sv};
constexpr std::array kSuffix14 = {"金属"sv, "製作所"sv, "工機"sv, "鋼管"sv, "金属工業"sv};
constexpr std::array kSuffix15 = {"機械"sv, "鉄工"sv, "重工"sv, "精機"sv, "工作機"sv, "機工"sv};
constexpr std::array kSuffix16 = {"電機"sv, "電気"sv,   "電子"sv, "電工"sv,
                                  "無線"sv, "通信機"sv, "電装"sv, "エレクトロニクス"sv};
constexpr std::array kSuffix17 = {"自動車"sv, "造船"sv, "車体"sv, "発動機"sv, "自工"sv};
constexpr std::array kSuffix18 = {"精密"sv, "光学"sv, "計器"sv, "時計"sv, "医科器械"sv};
constexpr std::array kSuffix19 = {"楽器"sv, "印刷"sv, "玩具"sv, "文具"sv, "家具"sv, "産業"sv};
constexpr std::array kSuffix20 = {"電力"sv, "ガス"sv};
constexpr std::array kSuffix21 = {"運輸"sv, "鉄道"sv, "運送"sv, "急行"sv, "交通"sv, "物流"sv};
constexpr std::array kSuffix22 = {"海運"sv, "汽船"sv, "船舶"sv};
constexpr std::array kSuffix23 = {"航空"sv, "空輸"sv};
constexpr std::array kSuffix24 = {"倉庫"sv, "港運"sv, "冷蔵"sv, "海陸"sv};
constexpr std::array kSuffix25 = {"システム"sv, "ソフト"sv, "情報"sv,   "通信"sv,
                                  "放送"sv,     "ネット"sv, "データ"sv, "テレビ"sv};
constexpr std::array kSuffix26 = {"商事"sv, "商会"sv, "物産"sv, "通商"sv, "興業"sv, "貿易"sv};
constexpr std::array kSuffix27 = {"百貨店"sv, "商店"sv, "ストア"sv, "薬局"sv, "堂"sv, "屋"sv};
constexpr std::array kSuffix28 = {"銀行"sv};
constexpr std::array kSuffix29 = {"証券"sv};
constexpr std::array kSuffix30 = {"火災"sv, "生命"sv, "損保"sv};
constexpr std::array kSuffix31 = {"リース"sv, "信販"sv, "ファイナンス"sv, "クレジット"sv};
constexpr std::array kSuffix32 = {"不動産"sv, "地所"sv, "土地"sv, "建物"sv, "住販"sv};
constexpr std::array kSuffix33 = {"サービス"sv,       "開発"sv, "企画"sv,
                                  "コンサルタント"sv, "警備"sv, "人材"sv};

constexpr std::array<std::span<const std::string_view>, 33> kSuffixes = {
    kSuffix1,  kSuffix2,  kSuffix3,  kSuffix4,  kSuffix5,  kSuffix6,  kSuffix7,
    kSuffix8,  kSuffix9,  kSuffix10, kSuffix11, kSuffix12, kSuffix13, kSuffix14,
    kSuffix15, kSuffix16, kSuffix17, kSuffix18, kSuffix19, kSuffix20, kSuffix21,
    kSuffix22, kSuffix23, kSuffix24, kSuffix25, kSuffix26, kSuffix27, kSuffix28,
    kSuffix29, kSuffix30, kSuffix31, kSuffix32, kSuffix33,
};

constexpr std::array kProducts1 = {"冷凍食品"sv, "水産缶詰"sv, "養殖魚"sv, "鮮魚卸"sv};
constexpr std::array kProducts2 = {"原油"sv, "天然ガス"sv, "石灰石"sv, "金鉱"sv};
constexpr std::array kProducts3 = {"土木工事"sv, "マンション施工"sv, "道路舗装"sv, "空調設備"sv};
constexpr std::array kProducts4 = {"即席めん"sv, "菓子"sv, "ビール"sv, "調味料"sv, "冷凍食品"sv};
constexpr std::array kProducts5 = {"合成繊維"sv, "綿糸"sv, "衣料素材"sv, "不織布"sv};
constexpr std::array kProducts6 = {"段ボール"sv, "印刷用紙"sv, "家庭紙"sv};
constexpr std::array kProducts7 = {"塗料"sv, "合成樹脂"sv, "化粧品"sv, "電子材料"sv, "肥料"sv};
constexpr std::array kProducts8 = {"抗がん剤"sv, "一般用医薬品"sv, "ジェネリック医薬品"sv};
constexpr std::array kProducts9 = {"石油精製"sv, "潤滑油"sv, "コークス"sv};
constexpr std::array kProducts10 = {"タイヤ"sv, "工業用ゴム"sv, "ベルト"sv};
constexpr std::array kProducts11 = {"板硝子"sv, "セメント"sv, "ファインセラミックス"sv};
constexpr std::array kProducts12 = {"特殊鋼"sv, "鋼板"sv, "棒鋼"sv};
constexpr std::array kProducts13 = {"電線"sv, "銅製品"sv, "アルミ圧延品"sv};
constexpr std::array kProducts14 = {"建築金物"sv, "ボルト"sv, "鋼製家具"sv};
constexpr std::array kProducts15 = {"工作機械"sv, "建設機械"sv, "ポンプ"sv, "ロボット"sv};
constexpr std::array kProducts16 = {"半導体"sv, "電子部品"sv, "家電"sv, "制御機器"sv, "電池"sv};
constexpr std::array kProducts17 = {"自動車部品"sv, "二輪車"sv, "船舶"sv, "トラック"sv};
constexpr std::array kProducts18 = {"医療機器"sv, "カメラ"sv, "計測器"sv, "時計"sv};
constexpr std::array kProducts19 = {"楽器"sv, "文具"sv, "玩具"sv, "印刷"sv, "スポーツ用品"sv};
constexpr std::array kProducts20 = {"電力供給"sv, "都市ガス"sv};
constexpr std::array kProducts21 = {"鉄道"sv, "路線バス"sv, "宅配便"sv, "トラック輸送"sv};
constexpr std::array kProducts22 = {"外航海運"sv, "タンカー"sv, "内航海運"sv};
constexpr std::array kProducts23 = {"国内線"sv, "貨物航空"sv};
constexpr std::array kProducts24 = {"倉庫"sv, "港湾運送"sv, "冷蔵倉庫"sv};
constexpr std::array kProducts25 = {"ソフト開発"sv, "通信サービス"sv, "放送"sv, "ネット広告"sv};
constexpr std::array kProducts26 = {"鉄鋼商社"sv, "食品卸"sv, "電子部品商社"sv, "医薬品卸"sv};
constexpr std::array kProducts27 = {"スーパー"sv, "ドラッグストア"sv, "百貨店"sv, "家電量販"sv};
constexpr std::array kProducts28 = {"地方銀行"sv, "中小企業融資"sv, "個人向け融資"sv};
constexpr std::array kProducts29 = {"株式売買仲介"sv, "投資信託販売"sv};
constexpr std::array kProducts30 = {"損害保険"sv, "生命保険"sv, "自動車保険"sv};
constexpr std::array kProducts31 = {"リース"sv, "消費者金融"sv, "クレジットカード"sv};
constexpr std::array kProducts32 = {"オフィスビル賃貸"sv, "マンション分譲"sv, "戸建て住宅"sv};
constexpr std::array kProducts33 = {"人材派遣"sv, "ホテル"sv, "警備"sv, "外食"sv, "広告"sv};

constexpr std::array<std::span<const std::string_view>, 33> kProducts = {
    kProducts1,  kProducts2,  kProducts3,  kProducts4,  kProducts5,  kProducts6,  kProducts7,
    kProducts8,  kProducts9,  kProducts10, kProducts11, kProducts12, kProducts13, kProducts14,
    kProducts15, kProducts16, kProducts17, kProducts18, kProducts19, kProducts20, kProducts21,
    kProducts22, kProducts23, kProducts24, kProducts25, kProducts26, kProducts27, kProducts28,
    kProducts29, kProducts30, kProducts31, kProducts32, kProducts33,
};

constexpr std::array kRegions = {"北海道"sv, "東北"sv, "関東"sv, "首都圏"sv, "北陸"sv, "東海"sv,
                                 "関西"sv,   "中国"sv, "四国"sv, "九州"sv,   "沖縄"sv};

struct Band {
    int firstCode;
    int industry;
};

// The code bands the exchange traditionally gave each sector.
constexpr std::array kBands = {
    Band{1300, 1},  Band{1400, 3},  Band{1500, 2},  Band{1700, 3},  Band{2000, 4},  Band{3000, 5},
    Band{3700, 6},  Band{3800, 25}, Band{4000, 7},  Band{4500, 8},  Band{4600, 7},  Band{5000, 9},
    Band{5100, 10}, Band{5200, 11}, Band{5400, 12}, Band{5600, 13}, Band{5900, 14}, Band{6000, 15},
    Band{6500, 16}, Band{7000, 17}, Band{7400, 26}, Band{7500, 27}, Band{7700, 18}, Band{7800, 19},
    Band{8000, 26}, Band{8200, 27}, Band{8300, 28}, Band{8500, 31}, Band{8600, 29}, Band{8700, 30},
    Band{8800, 32}, Band{9000, 21}, Band{9100, 22}, Band{9200, 23}, Band{9300, 24}, Band{9400, 25},
    Band{9500, 20}, Band{9600, 33}, Band{9800, 27}, Band{9900, 33},
};

}  // namespace

std::span<const std::string_view> IndustryNames() {
    return kIndustries;
}
std::span<const std::string_view> NameStems() {
    return kStems;
}
std::span<const std::string_view> Regions() {
    return kRegions;
}

std::span<const std::string_view> IndustrySuffixes(int industry) {
    return kSuffixes.at(static_cast<std::size_t>(industry - 1));
}

std::span<const std::string_view> IndustryProducts(int industry) {
    return kProducts.at(static_cast<std::size_t>(industry - 1));
}

int IndustryOfCodeBand(int code) {
    int industry = kBands.front().industry;
    for (const Band& band : kBands) {
        if (code >= band.firstCode) {
            industry = band.industry;
        }
    }
    return industry;
}

}  // namespace tickora::site
