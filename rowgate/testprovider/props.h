// Rowset properties: what a command or OpenRowset was asked for, validated
// against what the provider supports.
#pragma once
#include <windows.h>
#include <oledb.h>

#include <map>
#include <string>
#include <vector>

namespace tp {

struct PropDef {
    DBPROPID id;
    VARTYPE vt;
    long def;       // VT_BOOL: VARIANT_TRUE / VARIANT_FALSE
    bool writable;  // read-only ones accept only their fixed value
};

class RowsetProps {
public:
    RowsetProps();

    long Get(DBPROPID id) const;
    bool On(DBPROPID id) const { return Get(id) != 0; }
    void Set(DBPROPID id, long v) { values_[id] = v; }
    // REQUIRED unless the consumer asked for the property as OPTIONAL.
    bool Required(DBPROPID id) const;
    // The consumer gave the property a value (successfully).
    bool WasSet(DBPROPID id) const { return options_.count(id) != 0; }

    // Applies property sets in order (a later value of the same property wins),
    // writing each property's status.  Lines describing what was asked go to
    // `record`.  Returns S_OK, DB_S_ERRORSOCCURRED or DB_E_ERRORSOCCURRED.
    HRESULT Apply(ULONG cSets, DBPROPSET* sets, std::vector<std::string>* record);

    // Settles properties implied by others (locate implies bookmarks, ...).
    void Normalize();

    // IRowsetInfo / ICommandProperties GetProperties.
    HRESULT GetProperties(ULONG cIdSets, const DBPROPIDSET* idSets, ULONG* pcSets, DBPROPSET** prgSets) const;

private:
    std::map<DBPROPID, long> values_;
    std::map<DBPROPID, DBPROPOPTIONS> options_;
};

// Text of one property for the record: "PROP 0x5A VT_BOOL TRUE REQUIRED".
std::string PropLine(const DBPROP& p);
std::string PropSetLine(const GUID& set);

// Fills a VARIANT from a property's stored long.
void PropValue(VARTYPE vt, long v, VARIANT& out);

} // namespace tp
