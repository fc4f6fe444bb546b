#include "props.h"

#include <oleauto.h>

#include <cstdio>
#include <cstring>

#include "common.h"

namespace tp {
namespace {

constexpr long T = VARIANT_TRUE;
constexpr long F = VARIANT_FALSE;

const std::vector<PropDef>& Defs() {
    static const std::vector<PropDef> defs = {
        {DBPROP_IAccessor, VT_BOOL, T, false},
        {DBPROP_IColumnsInfo, VT_BOOL, T, false},
        {DBPROP_IConvertType, VT_BOOL, T, false},
        {DBPROP_IRowset, VT_BOOL, T, false},
        {DBPROP_IRowsetInfo, VT_BOOL, T, false},
        {DBPROP_ISequentialStream, VT_BOOL, T, false},
        {DBPROP_IRowsetChange, VT_BOOL, F, true},
        {DBPROP_IRowsetUpdate, VT_BOOL, F, true},
        {DBPROP_IRowsetLocate, VT_BOOL, F, true},
        {DBPROP_IRowsetRefresh, VT_BOOL, F, true},
        {DBPROP_BOOKMARKS, VT_BOOL, F, true},
        {DBPROP_CANHOLDROWS, VT_BOOL, T, true},
        {DBPROP_CANSCROLLBACKWARDS, VT_BOOL, F, true},
        {DBPROP_CANFETCHBACKWARDS, VT_BOOL, F, true},
        {DBPROP_OWNINSERT, VT_BOOL, T, true},
        {DBPROP_OWNUPDATEDELETE, VT_BOOL, T, true},
        {DBPROP_OTHERINSERT, VT_BOOL, F, true},
        {DBPROP_OTHERUPDATEDELETE, VT_BOOL, F, true},
        {DBPROP_REMOVEDELETED, VT_BOOL, F, true},
        {DBPROP_SERVERCURSOR, VT_BOOL, F, true},
        {DBPROP_QUICKRESTART, VT_BOOL, F, true},
        {DBPROP_DEFERRED, VT_BOOL, F, true},
        {DBPROP_UPDATABILITY, VT_I4, 0, true},
        {DBPROP_MAXOPENROWS, VT_I4, 0, true},
        {DBPROP_COMMANDTIMEOUT, VT_I4, 0, true},
        {DBPROP_BOOKMARKTYPE, VT_I4, DBPROPVAL_BMK_NUMERIC, false},
        {DBPROP_ORDEREDBOOKMARKS, VT_BOOL, T, false},
        {DBPROP_LITERALBOOKMARKS, VT_BOOL, F, false},
        {DBPROP_LITERALIDENTITY, VT_BOOL, T, false},
        {DBPROP_STRONGIDENTITY, VT_BOOL, T, false},
        {DBPROP_IMMOBILEROWS, VT_BOOL, T, false},
        {DBPROP_MULTIPLESTORAGEOBJECTS, VT_BOOL, T, false},
        {DBPROP_BLOCKINGSTORAGEOBJECTS, VT_BOOL, F, false},
        {DBPROP_CHANGEINSERTEDROWS, VT_BOOL, T, false},
        {DBPROP_RETURNPENDINGINSERTS, VT_BOOL, F, false},
        {DBPROP_ACCESSORDER, VT_I4, DBPROPVAL_AO_RANDOM, false},
    };
    return defs;
}

const PropDef* FindDef(DBPROPID id) {
    for (const auto& d : Defs())
        if (d.id == id) return &d;
    return nullptr;
}

bool IsNullId(const DBID& id) {
    // DB_NULLID is all zero; some consumers spell it with DBKIND_GUID_PROPID.
    return (id.eKind == DBKIND_GUID_NAME || id.eKind == DBKIND_GUID_PROPID) && IsEqualGUID(id.uGuid.guid, GUID_NULL) &&
           id.uName.ulPropid == 0;
}

} // namespace

void PropValue(VARTYPE vt, long v, VARIANT& out) {
    VariantInit(&out);
    out.vt = vt;
    if (vt == VT_BOOL) out.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    else if (vt == VT_I2) out.iVal = static_cast<SHORT>(v);
    else out.lVal = v;
}

std::string PropSetLine(const GUID& set) {
    if (IsEqualGUID(set, guid::kPropsetRowset)) return "SET DBPROPSET_ROWSET";
    if (IsEqualGUID(set, guid::kPropsetDbInit)) return "SET DBPROPSET_DBINIT";
    return "SET " + Utf8(GuidText(set));
}

std::string PropLine(const DBPROP& p) {
    char buf[96];
    snprintf(buf, sizeof buf, "PROP 0x%02lX ", static_cast<unsigned long>(p.dwPropertyID));
    std::string line = buf;
    const VARIANT& v = p.vValue;
    switch (v.vt) {
    case VT_BOOL: line += "VT_BOOL "; line += v.boolVal ? "TRUE" : "FALSE"; break;
    case VT_I2: line += "VT_I2 " + std::to_string(v.iVal); break;
    case VT_I4: line += "VT_I4 " + std::to_string(v.lVal); break;
    case VT_UI4: line += "VT_UI4 " + std::to_string(v.ulVal); break;
    case VT_BSTR: line += "VT_BSTR \"" + Utf8(v.bstrVal ? v.bstrVal : L"") + "\""; break;
    case VT_EMPTY: line += "EMPTY"; break;
    default: snprintf(buf, sizeof buf, "VT_%u ?", v.vt); line += buf; break;
    }
    line += p.dwOptions == DBPROPOPTIONS_OPTIONAL ? " OPTIONAL" : (p.dwOptions == DBPROPOPTIONS_REQUIRED ? " REQUIRED" : " OPTIONS?");
    return line;
}

RowsetProps::RowsetProps() {
    for (const auto& d : Defs()) values_[d.id] = d.def;
}

long RowsetProps::Get(DBPROPID id) const {
    auto it = values_.find(id);
    return it == values_.end() ? 0 : it->second;
}

bool RowsetProps::Required(DBPROPID id) const {
    auto it = options_.find(id);
    return it == options_.end() || it->second != DBPROPOPTIONS_OPTIONAL;
}

HRESULT RowsetProps::Apply(ULONG cSets, DBPROPSET* sets, std::vector<std::string>* record) {
    if (cSets && !sets) return E_INVALIDARG;
    ULONG total = 0, failed = 0;
    bool requiredFailed = false;
    for (ULONG s = 0; s < cSets; ++s) {
        DBPROPSET& set = sets[s];
        if (set.cProperties && !set.rgProperties) return E_INVALIDARG;
        if (record) record->push_back(PropSetLine(set.guidPropertySet));
        bool rowsetSet = IsEqualGUID(set.guidPropertySet, guid::kPropsetRowset);
        for (ULONG k = 0; k < set.cProperties; ++k) {
            DBPROP& p = set.rgProperties[k];
            if (record) record->push_back(PropLine(p));
            ++total;
            const PropDef* def = rowsetSet ? FindDef(p.dwPropertyID) : nullptr;
            DBPROPSTATUS st = DBPROPSTATUS_OK;
            if (p.dwOptions != DBPROPOPTIONS_REQUIRED && p.dwOptions != DBPROPOPTIONS_OPTIONAL) st = DBPROPSTATUS_BADOPTION;
            else if (!def) st = DBPROPSTATUS_NOTSUPPORTED;
            else if (!IsNullId(p.colid)) st = DBPROPSTATUS_BADCOLUMN;
            else if (p.vValue.vt != VT_EMPTY && p.vValue.vt != def->vt) st = DBPROPSTATUS_BADVALUE;
            if (st == DBPROPSTATUS_OK) {
                long v = def->def;  // VT_EMPTY asks for the default
                if (p.vValue.vt == VT_BOOL) v = p.vValue.boolVal ? VARIANT_TRUE : VARIANT_FALSE;
                else if (p.vValue.vt == VT_I4) v = p.vValue.lVal;
                if (!def->writable && v != def->def) {
                    st = p.dwOptions == DBPROPOPTIONS_OPTIONAL ? DBPROPSTATUS_NOTSET : DBPROPSTATUS_NOTSETTABLE;
                } else {
                    values_[p.dwPropertyID] = v;
                    options_[p.dwPropertyID] = p.dwOptions;
                }
            }
            p.dwStatus = st;
            if (st != DBPROPSTATUS_OK) {
                ++failed;
                if (p.dwOptions != DBPROPOPTIONS_OPTIONAL) requiredFailed = true;
            }
        }
    }
    (void)requiredFailed;
    if (failed == 0) return S_OK;
    return failed == total ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

void RowsetProps::Normalize() {
    if (On(DBPROP_IRowsetLocate)) values_[DBPROP_BOOKMARKS] = VARIANT_TRUE;
    if (On(DBPROP_IRowsetUpdate)) values_[DBPROP_IRowsetChange] = VARIANT_TRUE;
    if (On(DBPROP_BOOKMARKS)) values_[DBPROP_IRowsetLocate] = VARIANT_TRUE;
    if (!On(DBPROP_IRowsetChange)) {
        values_[DBPROP_UPDATABILITY] = 0;
    } else if (Get(DBPROP_UPDATABILITY) == 0) {
        values_[DBPROP_UPDATABILITY] = DBPROPVAL_UP_CHANGE | DBPROPVAL_UP_DELETE | DBPROPVAL_UP_INSERT;
    }
}

HRESULT RowsetProps::GetProperties(ULONG cIdSets, const DBPROPIDSET* idSets, ULONG* pcSets,
                                   DBPROPSET** prgSets) const {
    if (!pcSets || !prgSets) return E_INVALIDARG;
    *pcSets = 0;
    *prgSets = nullptr;
    if (cIdSets && !idSets) return E_INVALIDARG;
    ULONG nSets = cIdSets ? cIdSets : 1;
    auto* out = static_cast<DBPROPSET*>(CoTaskMemAlloc(sizeof(DBPROPSET) * nSets));
    if (!out) return E_OUTOFMEMORY;
    ULONG total = 0, failed = 0;
    for (ULONG s = 0; s < nSets; ++s) {
        DBPROPSET& set = out[s];
        set.guidPropertySet = cIdSets ? idSets[s].guidPropertySet : guid::kPropsetRowset;
        bool rowsetSet = IsEqualGUID(set.guidPropertySet, guid::kPropsetRowset) ||
                         IsEqualGUID(set.guidPropertySet, guid::kPropsetRowsetAll);
        if (IsEqualGUID(set.guidPropertySet, guid::kPropsetRowsetAll)) set.guidPropertySet = guid::kPropsetRowset;
        std::vector<DBPROPID> ids;
        if (cIdSets && idSets[s].cPropertyIDs) {
            ids.assign(idSets[s].rgPropertyIDs, idSets[s].rgPropertyIDs + idSets[s].cPropertyIDs);
        } else if (rowsetSet) {
            for (const auto& d : Defs()) ids.push_back(d.id);
        }
        set.cProperties = static_cast<ULONG>(ids.size());
        set.rgProperties = ids.empty() ? nullptr : static_cast<DBPROP*>(CoTaskMemAlloc(sizeof(DBPROP) * ids.size()));
        if (!set.rgProperties) ids.clear();  // out of memory: an empty set rather than a crash
        set.cProperties = static_cast<ULONG>(ids.size());
        for (size_t k = 0; k < ids.size(); ++k) {
            DBPROP& p = set.rgProperties[k];
            std::memset(&p, 0, sizeof p);
            p.dwPropertyID = ids[k];
            p.dwOptions = DBPROPOPTIONS_REQUIRED;
            VariantInit(&p.vValue);
            ++total;
            const PropDef* def = rowsetSet ? FindDef(ids[k]) : nullptr;
            if (!def) {
                p.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
                ++failed;
                continue;
            }
            p.dwStatus = DBPROPSTATUS_OK;
            PropValue(def->vt, Get(ids[k]), p.vValue);
        }
    }
    *pcSets = nSets;
    *prgSets = out;
    if (failed == 0) return S_OK;
    return failed == total ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

} // namespace tp
