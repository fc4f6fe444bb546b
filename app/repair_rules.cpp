#include "repair_rules.h"

namespace repair {

const wchar_t kRegistryFailure[] = L"启用信任站点ACTIVEX失败！写入注册表失败！";

const wchar_t kZoneKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2";

const std::array<ZoneAction, 12> kZoneActions = {{
    {L"1001", L"启用:下载已签名的 ActiveX 控件"},
    {L"1004", L"启用:下载未签名的 ActiveX 控件"},
    {L"1200", L"启用:运行 ActiveX 控件和插件"},
    {L"1201", L"启用:对没有标记为安全的 ActiveX 控件进行初始化和脚本运行件"},
    {L"1208", L"启用:ActiveX 控件和插件：允许以前未使用的 ActiveX 控件在没有提示的情况下运行 "},
    {L"1400", L"启用:脚本编写：活动脚本编写 "},
    {L"1402", L"启用:Java 小程序脚本编写 "},
    {L"1405", L"启用:ActiveX 控件和插件：对标记为可安全执行脚本的 ActiveX 控件执行脚本 "},
    {L"1607", L"启用:跨域浏览子框架 "},
    {L"1609", L"启用:显示混合内容 * "},
    {L"2000", L"启用:ActiveX 控件和插件：二进制和脚本行为 "},
    {L"2201", L"启用:ActiveX 控件和插件：ActiveX 控件自动提示 ** "},
}};

const wchar_t kDomainsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains";
const wchar_t kRangesKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Ranges";

const wchar_t kControlCheckKey[] = L"CLSID\\{3F166327-8030-4881-8BD2-EA25350E574A}\\InprocServer32";
const wchar_t kRegisteredLine[] = L"恭喜您所需控件注册成功！";
const wchar_t kNotRegisteredLine[] = L"警告：所需控件注册失败！";

// Host, host, host, address, host, host, address, address, address, host,
// host, host: the positions of the addresses name their range keys.
const wchar_t kTrustedSiteList[] =
    L"www.vortan-tax.com,etax.vortan-tax.com,download.vortan-tax.cn,61.152.128.21,"
    L"nssb.tax.vortan.cn,ca.service.vortan-tax.com,10.16.8.20,10.16.8.21,202.96.64.18,"
    L"update.vortan-tax.com,help.nssb.vortan.cn,fp.etax.vortan-tax.cn";

std::wstring ClassifyHost(const std::wstring& entry) {
    auto dot = entry.find_last_of(L'.');
    std::wstring last = dot == std::wstring::npos ? entry : entry.substr(dot + 1);
    if (last == L"cn" || last == L"com") return L"Domain";
    // Plain decimal digits only: a sign or a hex prefix does not make an address.
    if (last.empty() || last.size() > 3) return L"Domain";
    int value = 0;
    for (wchar_t c : last) {
        if (c < L'0' || c > L'9') return L"Domain";
        value = value * 10 + (c - L'0');
    }
    return value < 256 ? L"IP" : L"Domain";
}

std::vector<std::wstring> SplitSiteList(const std::wstring& list) {
    std::vector<std::wstring> out;
    if (list.empty()) return out;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(L',', start);
        out.push_back(list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start));
        if (comma == std::wstring::npos) break;
        start = comma + 1;
    }
    return out;
}

HostSplit SplitHost(const std::wstring& entry) {
    auto last = entry.find_last_of(L'.');
    if (last == std::wstring::npos || last == 0) return {entry, L""};
    auto second = entry.find_last_of(L'.', last - 1);
    if (second == std::wstring::npos) return {entry, L""};
    return {entry.substr(second + 1), entry.substr(0, second)};
}

namespace {

// The platform takes a backslash as a step to a subkey and ends a name at NUL.
bool NamesOneKey(const std::wstring& part) {
    return part.find_first_of(std::wstring(L"\\\0", 2)) == std::wstring::npos;
}

} // namespace

std::wstring DomainKeyPath(const HostSplit& split) {
    if (split.domain.empty() || !NamesOneKey(split.domain) || !NamesOneKey(split.host)) return {};
    std::wstring path = std::wstring(kDomainsKey) + L"\\" + split.domain;
    // A two-label name has no host part: its values sit on the domain key itself.
    if (!split.host.empty()) path += L"\\" + split.host;
    return path;
}

std::wstring RangeKeyPath(int position) { return std::wstring(kRangesKey) + L"\\Range99" + std::to_wstring(position); }

std::wstring TrustedSiteLine(const std::wstring& entry) { return L"项:" + entry + L",加入信任站点"; }

std::wstring WithTrailingBackslash(const std::wstring& dir) {
    if (!dir.empty() && dir.back() == L'\\') return dir;
    return dir + L"\\";
}

std::vector<RegistrationStep> RegistrationSteps(const std::wstring& systemDir, const std::wstring& exeDir) {
    const std::wstring unreg = L"cmd.exe /K \"regsvr32.exe /u /s \"";
    const std::wstring regTwoBlanks = L"cmd.exe /K \"regsvr32.exe /s  \"";
    const std::wstring reg = L"cmd.exe /K \"regsvr32.exe /s \"";
    const std::wstring sys = WithTrailingBackslash(systemDir);
    const std::wstring exe = WithTrailingBackslash(exeDir);
    auto cmd = [](const std::wstring& prefix, const std::wstring& dir, const wchar_t* file) {
        return prefix + dir + file + L"\"\"";
    };
    return {
        {cmd(unreg, sys, L"YRWXls.dll"), L""},
        {cmd(unreg, exe, L"YRWXls.ocx"), L""},
        {cmd(regTwoBlanks, exe, L"YRWXls.ocx"), L"注册YRWXls.ocx完毕"},
        {cmd(unreg, sys, L"CellWeb5.dll"), L""},
        {cmd(unreg, exe, L"CellWeb5.ocx"), L""},
        {cmd(reg, exe, L"CellWeb5.ocx"), L"注册CellWeb5.ocx完毕"},
        {cmd(unreg, sys, L"jscript.dll"), L""},
        {cmd(reg, sys, L"jscript.dll"), L"注册jscript.dll完毕"},
        {cmd(unreg, sys, L"vbscript.dll"), L""},
        {cmd(reg, sys, L"vbscript.dll"), L"注册vbscript.dll完毕"},
    };
}

} // namespace repair
