// The demo's design texts in Big5 (code page 950), written as bytes so the
// source's own encoding never matters; each follows a comment with what it reads.
// Generated once from the characters shown; edit both together.
#pragma once

namespace forms_demo::big5 {

// 訂單 - Quorlane 表單示範
inline constexpr char kFormCaption[] = "\xADq\xB3\xE6 - Quorlane \xAA\xED\xB3\xE6\xA5\xDC\xBD\x64";
// 繁體中文
inline constexpr char kTraditional[] = "\xC1\x63\xC5\xE9\xA4\xA4\xA4\xE5";
// 簡體中文
inline constexpr char kSimplified[] = "\xC2\xB2\xC5\xE9\xA4\xA4\xA4\xE5";
// 轉為簡體 (GBK)
inline constexpr char kToSimplified[] = "\xC2\xE0\xAC\xB0\xC2\xB2\xC5\xE9 (GBK)";
// 以 TWinPerTurn 將表單與資料轉為 GBK 簡體
inline constexpr char kToSimplifiedHint[] = "\xA5H TWinPerTurn \xB1N\xAA\xED\xB3\xE6\xBBP\xB8\xEA\xAE\xC6\xC2\xE0\xAC\xB0 GBK \xC2\xB2\xC5\xE9";
// 轉為繁體 (Big5)
inline constexpr char kToTraditional[] = "\xC2\xE0\xAC\xB0\xC1\x63\xC5\xE9 (Big5)";
// 以 TWinPerTurn 將表單與資料轉為 Big5 繁體
inline constexpr char kToTraditionalHint[] = "\xA5H TWinPerTurn \xB1N\xAA\xED\xB3\xE6\xBBP\xB8\xEA\xAE\xC6\xC2\xE0\xAC\xB0 Big5 \xC1\x63\xC5\xE9";
// 客戶名稱
inline constexpr char kCustomer[] = "\xAB\xC8\xA4\xE1\xA6W\xBA\xD9";
// 請輸入客戶名稱或ＩＤ (the full-width letters are GBK A3 C9, A3 C4 in the
// Simplified file: bytes that code page 950 has no character for)
inline constexpr char kCustomerHint[] = "\xBD\xD0\xBF\xE9\xA4J\xAB\xC8\xA4\xE1\xA6W\xBA\xD9\xA9\xCE\xA2\xD7\xA2\xD2";
// 電話
inline constexpr char kPhone[] = "\xB9q\xB8\xDC";
// 送貨地址
inline constexpr char kDeliveryAddress[] = "\xB0\x65\xB3\x66\xA6\x61\xA7}";
// 地址
inline constexpr char kAddress[] = "\xA6\x61\xA7}";
// 城市
inline constexpr char kCity[] = "\xAB\xB0\xA5\xAB";
// 付款方式
inline constexpr char kPayment[] = "\xA5I\xB4\xDA\xA4\xE8\xA6\xA1";
// 現金
inline constexpr char kCash[] = "\xB2{\xAA\xF7";
// 信用卡
inline constexpr char kCreditCard[] = "\xABH\xA5\xCE\xA5\x64";
// 轉帳
inline constexpr char kTransfer[] = "\xC2\xE0\xB1\x62";
// 急件
inline constexpr char kUrgent[] = "\xAB\xE6\xA5\xF3";
// 當日送達
inline constexpr char kUrgentHint[] = "\xB7\xED\xA4\xE9\xB0\x65\xB9\x46";
// 送貨時段
inline constexpr char kDelivery[] = "\xB0\x65\xB3\x66\xAE\xC9\xACq";
// 上午
inline constexpr char kMorning[] = "\xA4W\xA4\xC8";
// 下午
inline constexpr char kAfternoon[] = "\xA4U\xA4\xC8";
// 晚上
inline constexpr char kEvening[] = "\xB1\xDF\xA4W";
// 產品類別
inline constexpr char kCategories[] = "\xB2\xA3\xAB~\xC3\xFE\xA7O";
// 依類別瀏覽產品
inline constexpr char kCategoriesHint[] = "\xA8\xCC\xC3\xFE\xA7O\xC2s\xC4\xFD\xB2\xA3\xAB~";
// 飲料
inline constexpr char kDrinks[] = "\xB6\xBC\xAE\xC6";
// 茶
inline constexpr char kTea[] = "\xAF\xF9";
// 烏龍茶
inline constexpr char kOolong[] = "\xAFQ\xC0s\xAF\xF9";
// 鐵觀音
inline constexpr char kTieguanyin[] = "\xC5K\xC6[\xAD\xB5";
// 咖啡
inline constexpr char kCoffee[] = "\xA9@\xB0\xD8";
// 咖啡豆
inline constexpr char kCoffeeBeans[] = "\xA9@\xB0\xD8\xA8\xA7";
// 拿鐵咖啡
inline constexpr char kLatte[] = "\xAE\xB3\xC5K\xA9@\xB0\xD8";
// 點心
inline constexpr char kSnacks[] = "\xC2I\xA4\xDF";
// 鳳梨酥
inline constexpr char kPineappleCake[] = "\xBB\xF1\xB1\xF9\xB6p";
// 蛋黃酥
inline constexpr char kEggYolkPastry[] = "\xB3J\xB6\xC0\xB6p";
// 訂單明細
inline constexpr char kOrderLines[] = "\xADq\xB3\xE6\xA9\xFA\xB2\xD3";
// 產品
inline constexpr char kProduct[] = "\xB2\xA3\xAB~";
// 數量
inline constexpr char kQuantity[] = "\xBC\xC6\xB6q";
// 小計
inline constexpr char kAmount[] = "\xA4p\xADp";
// 產品資料
inline constexpr char kProducts[] = "\xB2\xA3\xAB~\xB8\xEA\xAE\xC6";
// 資料集中的產品，可用 TWinPerTurn 轉換
inline constexpr char kProductsHint[] = "\xB8\xEA\xAE\xC6\xB6\xB0\xA4\xA4\xAA\xBA\xB2\xA3\xAB~\xA1\x41\xA5i\xA5\xCE TWinPerTurn \xC2\xE0\xB4\xAB";
// 產品名稱
inline constexpr char kProductName[] = "\xB2\xA3\xAB~\xA6W\xBA\xD9";
// 類別
inline constexpr char kCategory[] = "\xC3\xFE\xA7O";
// 單價
inline constexpr char kUnitPrice[] = "\xB3\xE6\xBB\xF9";
// 本軟體由 Sorvik資訊 提供
inline constexpr char kSoftware[] = "\xA5\xBB\xB3n\xC5\xE9\xA5\xD1 Sorvik\xB8\xEA\xB0T \xB4\xA3\xA8\xD1";

}  // namespace forms_demo::big5
