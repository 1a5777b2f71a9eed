#include "marketdata.h"
#include "vendorsim.h"

#include <QHash>

#include <algorithm>

namespace VendorSim {

namespace {

// Only upper-case letters, digits, '-' and '&': byte order and MariaDB's utf8mb4_unicode_ci then
// sort the same way, so the catalogue reads identically from SQLite and MariaDB.
const char *const CashSymbols[] = {
    "ABB", "ACC", "ADANIENT", "ADANIPORTS", "ADANIPOWER", "AMARAJABAT", "AMBUJACEM", "APOLLOHOSP",
    "ASHOKLEY", "ASIANPAINT", "AUROPHARMA", "AXISBANK", "BAJAJ-AUTO", "BAJAJFINSV", "BAJFINANCE",
    "BALKRISIND", "BANDHANBNK", "BANKBARODA", "BEL", "BERGEPAINT", "BHARATFORG", "BHARTIARTL",
    "BHEL", "BIOCON", "BOSCHLTD", "BPCL", "BRITANNIA", "CANBK", "CHOLAFIN", "CIPLA", "COALINDIA",
    "COLPAL", "DABUR", "DIVISLAB", "DLF", "DRREDDY", "EICHERMOT", "GAIL", "GODREJCP", "GRASIM",
    "HAVELLS", "HCLTECH", "HDFCBANK", "HDFCLIFE", "HEROMOTOCO", "HINDALCO", "HINDPETRO",
    "HINDUNILVR", "ICICIBANK", "ICICIGI", "ICICIPRULI", "IDEA", "IDFCFIRSTB", "INDHOTEL", "INDIGO",
    "INDUSINDBK", "INFY", "IOC", "IRCTC", "ITC", "J&KBANK", "JINDALSTEL", "JSWSTEEL", "KOTAKBANK",
    "L&TFH", "LICHSGFIN", "LT", "LTIM", "LUPIN", "M&M", "M&MFIN", "MARICO", "MARUTI", "MCX",
    "MOTHERSON", "MPHASIS", "MRF", "MUTHOOTFIN", "NAUKRI", "NESTLEIND", "NMDC", "NTPC", "ONGC",
    "PAGEIND", "PEL", "PETRONET", "PFC", "PIDILITIND", "PNB", "POWERGRID", "RECLTD", "RELIANCE",
    "SAIL", "SBICARD", "SBILIFE", "SBIN", "SHREECEM", "SIEMENS", "SRF", "SUNPHARMA", "SUNTV",
    "TATACHEM", "TATACOMM", "TATACONSUM", "TATAMOTORS", "TATAPOWER", "TATASTEEL", "TCS", "TECHM",
    "TITAN", "TORNTPHARM", "TRENT", "TVSMOTOR", "UBL", "ULTRACEMCO", "UPL", "VEDL", "VOLTAS",
    "WIPRO", "ZEEL", "ZYDUSLIFE"};

// Stocks that also trade as near-month futures ("<stock>-I").
const char *const StockFutures[] = {
    "ACC", "ADANIENT", "ADANIPORTS", "ADANIPOWER", "AMARAJABAT", "APOLLOHOSP", "ASIANPAINT",
    "AXISBANK", "BAJAJ-AUTO", "BAJAJFINSV", "BAJFINANCE", "BANKBARODA", "BEL", "BHARTIARTL", "BPCL",
    "BRITANNIA", "CIPLA", "COALINDIA", "DLF", "DRREDDY", "EICHERMOT", "GRASIM", "HCLTECH",
    "HDFCBANK", "HDFCLIFE", "HEROMOTOCO", "HINDALCO", "HINDUNILVR", "ICICIBANK", "INDUSINDBK",
    "INFY", "IOC", "ITC", "JSWSTEEL", "KOTAKBANK", "L&TFH", "LT", "M&M", "M&MFIN", "MARUTI",
    "NESTLEIND", "NTPC", "ONGC", "POWERGRID", "RELIANCE", "SBILIFE", "SBIN", "SUNPHARMA",
    "TATACONSUM", "TATAMOTORS", "TATAPOWER", "TATASTEEL", "TCS", "TECHM", "TITAN", "ULTRACEMCO",
    "UPL", "VEDL", "WIPRO"};

const char *const IndexFutures[] = {
    "BANKNIFTY-I", "BANKNIFTY-II", "FINNIFTY-I", "MIDCPNIFTY-I", "NIFTY-I", "NIFTY-II"};

const char *const McxSymbols[] = {
    "ALUMINI-I", "ALUMINIUM-I", "COPPER-I", "COTTON-I", "CRUDEOIL-I", "CRUDEOILM-I", "GOLD-I",
    "GOLDGUINEA-I", "GOLDM-I", "GOLDPETAL-I", "LEAD-I", "LEADMINI-I", "MENTHAOIL-I",
    "NATGASMINI-I", "NATURALGAS-I", "NICKEL-I", "SILVER-I", "SILVERM-I", "SILVERMIC-I", "ZINC-I",
    "ZINCMINI-I"};

const char *const CurrencySymbols[] = {
    "EURINR-I", "EURUSD-I", "GBPINR-I", "GBPUSD-I", "JPYINR-I", "USDINR-I", "USDINR-II", "USDJPY-I"};

const char *const SpotSymbols[] = {
    "BANKNIFTY", "FINNIFTY", "INDIAVIX", "MIDCPNIFTY", "NIFTY", "NIFTYAUTO", "NIFTYFMCG",
    "NIFTYIT", "NIFTYMETAL", "NIFTYPHARMA", "NIFTYREALTY", "SENSEX"};

const char *const NcdexSymbols[] = {
    "CASTOR-I", "CHANA-I", "COCUDAKL-I", "DHANIYA-I", "GUARGUM5-I", "GUARSEED10-I",
    "JEERAUNJHA-I", "KAPAS-I", "MOONG-I", "SOYBEAN-I", "SYBEANIDR-I", "TMCFGRNZM-I"};

// The symbols a first run selects; every end-of-day archive of their exchange holds them.
const char *const FirstRunSelection[] = {
    "BANKNIFTY-I", "CRUDEOIL-I", "GOLDM-I", "SILVERM-I", "USDINR-I", "INDIAVIX", "ICICIBANK",
    "NIFTY-I", "M&M", "M&M-I", "NIFTY", "BANKNIFTY"};

template<size_t N>
void addAll(QList<Market::Contract> *list, const char *const (&symbols)[N], const QString &exchange,
            const char *suffix = "")
{
    for (const char *symbol : symbols)
        list->append({QLatin1String(symbol) + QLatin1String(suffix), exchange});
}

QList<Market::Contract> buildContracts()
{
    QList<Market::Contract> list;
    addAll(&list, CashSymbols, QStringLiteral("CASH"));
    addAll(&list, IndexFutures, QStringLiteral("FUTURE"));
    addAll(&list, StockFutures, QStringLiteral("FUTURE"), "-I");
    // Weekly and monthly options around the money.
    for (const char *underlying : {"NIFTY", "BANKNIFTY"}) {
        const bool nifty = qstrcmp(underlying, "NIFTY") == 0;
        const int centre = nifty ? 24600 : 53500;
        const int step = nifty ? 100 : 500;
        for (int k = -3; k <= 3; ++k) {
            const QString strike = QString::number(centre + k * step);
            for (const char *side : {"CE", "PE"})
                list.append({QLatin1String(underlying) + QLatin1String("26DEC") + strike + QLatin1String(side),
                             QStringLiteral("OPTION")});
        }
    }
    for (const char *option : {"RELIANCE26DEC1300CE", "RELIANCE26DEC1300PE", "INFY26DEC1900CE",
                               "INFY26DEC1900PE", "SBIN26DEC840CE", "SBIN26DEC840PE"})
        list.append({QLatin1String(option), QStringLiteral("OPTION")});
    addAll(&list, McxSymbols, QStringLiteral("MCX"));
    addAll(&list, CurrencySymbols, QStringLiteral("CURRENCY"));
    addAll(&list, SpotSymbols, QStringLiteral("SPOTINDEX"));
    addAll(&list, NcdexSymbols, QStringLiteral("NCDEX"));
    return list;
}

const QHash<QString, double> &knownPrices()
{
    static const QHash<QString, double> prices = {
        {QStringLiteral("RELIANCE"), 1291.4}, {QStringLiteral("TCS"), 4152.3},
        {QStringLiteral("INFY"), 1853.6}, {QStringLiteral("HDFCBANK"), 1781.2},
        {QStringLiteral("ICICIBANK"), 1294.75}, {QStringLiteral("SBIN"), 836.1},
        {QStringLiteral("M&M"), 3012.5}, {QStringLiteral("M&MFIN"), 271.35},
        {QStringLiteral("MRF"), 125430.0}, {QStringLiteral("ITC"), 472.6},
        {QStringLiteral("LT"), 3712.9}, {QStringLiteral("BAJFINANCE"), 6921.0},
        {QStringLiteral("MARUTI"), 11230.0}, {QStringLiteral("PAGEIND"), 45210.0},
        {QStringLiteral("SHREECEM"), 25680.0}, {QStringLiteral("IDEA"), 7.85},
        {QStringLiteral("NIFTY-I"), 24652.0}, {QStringLiteral("NIFTY-II"), 24781.0},
        {QStringLiteral("BANKNIFTY-I"), 53512.0}, {QStringLiteral("BANKNIFTY-II"), 53804.0},
        {QStringLiteral("FINNIFTY-I"), 24118.0}, {QStringLiteral("MIDCPNIFTY-I"), 12704.0},
        {QStringLiteral("NIFTY"), 24605.35}, {QStringLiteral("BANKNIFTY"), 53420.6},
        {QStringLiteral("FINNIFTY"), 24052.1}, {QStringLiteral("MIDCPNIFTY"), 12651.4},
        {QStringLiteral("INDIAVIX"), 14.52}, {QStringLiteral("SENSEX"), 81034.5},
        {QStringLiteral("NIFTYIT"), 43012.0}, {QStringLiteral("NIFTYPHARMA"), 22510.0},
        {QStringLiteral("NIFTYAUTO"), 23480.0}, {QStringLiteral("NIFTYMETAL"), 9104.0},
        {QStringLiteral("NIFTYFMCG"), 57030.0}, {QStringLiteral("NIFTYREALTY"), 1052.0},
        {QStringLiteral("CRUDEOIL-I"), 5951.0}, {QStringLiteral("CRUDEOILM-I"), 5953.0},
        {QStringLiteral("GOLD-I"), 76520.0}, {QStringLiteral("GOLDM-I"), 76410.0},
        {QStringLiteral("GOLDGUINEA-I"), 61480.0}, {QStringLiteral("GOLDPETAL-I"), 7652.0},
        {QStringLiteral("SILVER-I"), 91020.0}, {QStringLiteral("SILVERM-I"), 91230.0},
        {QStringLiteral("SILVERMIC-I"), 91310.0}, {QStringLiteral("NATURALGAS-I"), 262.4},
        {QStringLiteral("NATGASMINI-I"), 262.6}, {QStringLiteral("COPPER-I"), 812.35},
        {QStringLiteral("ZINC-I"), 281.2}, {QStringLiteral("ZINCMINI-I"), 281.4},
        {QStringLiteral("LEAD-I"), 182.15}, {QStringLiteral("LEADMINI-I"), 182.3},
        {QStringLiteral("ALUMINIUM-I"), 250.6}, {QStringLiteral("ALUMINI-I"), 250.75},
        {QStringLiteral("NICKEL-I"), 1402.0}, {QStringLiteral("MENTHAOIL-I"), 951.2},
        {QStringLiteral("COTTON-I"), 56120.0}, {QStringLiteral("USDINR-I"), 84.7125},
        {QStringLiteral("USDINR-II"), 84.8850}, {QStringLiteral("EURINR-I"), 89.2175},
        {QStringLiteral("GBPINR-I"), 107.5325}, {QStringLiteral("JPYINR-I"), 55.8125},
        {QStringLiteral("EURUSD-I"), 1.0523}, {QStringLiteral("GBPUSD-I"), 1.2711},
        {QStringLiteral("USDJPY-I"), 151.52}, {QStringLiteral("JEERAUNJHA-I"), 24120.0},
        {QStringLiteral("TMCFGRNZM-I"), 13980.0}, {QStringLiteral("KAPAS-I"), 1521.0},
    };
    return prices;
}

}

namespace Market {

const QList<Contract> &contracts()
{
    static const QList<Contract> list = buildContracts();
    return list;
}

QString exchangeOf(const QString &symbol)
{
    static const QHash<QString, QString> index = [] {
        QHash<QString, QString> map;
        for (const Contract &c : contracts())
            map.insert(c.symbol, c.exchange);
        return map;
    }();
    return index.value(symbol);
}

double basePrice(const QString &symbol)
{
    const auto known = knownPrices().constFind(symbol);
    if (known != knownPrices().constEnd())
        return *known;
    const QString exchange = exchangeOf(symbol);
    const quint64 h = stableHash(symbol);
    const double unit = double(h % 100000) / 100000.0;
    if (exchange == QLatin1String("FUTURE") && symbol.endsWith(QLatin1String("-I"))) {
        const QString stock = symbol.chopped(2);
        if (!exchangeOf(stock).isEmpty())
            return basePrice(stock) * 1.004;
    }
    if (exchange == QLatin1String("OPTION"))
        return 20.0 + unit * 480.0;
    if (exchange == QLatin1String("NCDEX"))
        return 3000.0 + unit * 9000.0;
    if (exchange == QLatin1String("MCX"))
        return 200.0 + unit * 5000.0;
    // Cash stocks between 60 and about 4000, skewed towards the lower end like the real market.
    return 60.0 + unit * unit * 3900.0;
}

QString exchangeOfFeed(const QString &feed)
{
    if (feed == QLatin1String("CASH") || feed == QLatin1String("FUTURE") || feed == QLatin1String("CURRENCY"))
        return feed;
    if (feed == QLatin1String("COMM"))
        return QStringLiteral("MCX");
    if (feed == QLatin1String("SPOT"))
        return QStringLiteral("SPOTINDEX");
    return {};
}

QStringList archiveSymbols(const QString &exchange)
{
    QStringList chosen;
    for (const char *symbol : FirstRunSelection) {
        if (exchangeOf(QLatin1String(symbol)) == exchange)
            chosen << QLatin1String(symbol);
    }
    for (const QString &symbol : catalogue(exchange)) {
        if (chosen.size() >= ArchiveSymbolCap)
            break;
        if (!chosen.contains(symbol))
            chosen << symbol;
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

}

QList<QString> catalogue(const QString &exchange)
{
    QList<QString> symbols;
    for (const Market::Contract &c : Market::contracts()) {
        if (c.exchange == exchange)
            symbols << c.symbol;
    }
    std::sort(symbols.begin(), symbols.end());
    return symbols;
}

}
