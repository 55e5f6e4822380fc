// The table component: a dataset that opens one engine table by name through a connection.
#ifndef VELDA_ADS_ADSTABLE_H
#define VELDA_ADS_ADSTABLE_H

#include <string>
#include <vector>

#include "ads/adsdata.h"

namespace ads {

class TAdsExtendedDataSet : public TAdsDataSet {
  public:
    using TAdsDataSet::TAdsDataSet;
};

class TAdsExtendedTable : public TAdsExtendedDataSet {
  public:
    using TAdsExtendedDataSet::TAdsExtendedDataSet;
};

// Extra index files opened with the table: a sorted list of names without duplicates.
class TAdsIndexFiles {
  public:
    explicit TAdsIndexFiles(class TAdsTable* table) : table_(table) {}
    int Count() const { return static_cast<int>(names_.size()); }
    const std::string& Strings(int i) const { return names_.at(static_cast<size_t>(i)); }
    void Add(const std::string& name);
    void Delete(int index);
    void Clear();
    const std::vector<std::string>& Names() const { return names_; }

  private:
    TAdsTable* table_;
    std::vector<std::string> names_;
};

class TAdsTable : public TAdsExtendedTable {
  public:
    explicit TAdsTable(rtl::TComponent* owner = nullptr);
    ~TAdsTable() override;

    void SetTableName(const std::string& value) override;
    TAdsIndexFiles& IndexFiles() { return indexFiles_; }
    bool StoreDefs() const { return storeDefs_; }
    void SetStoreDefs(bool value) { storeDefs_ = value; }

    // The dictionary's default index tag for this table (called after a dictionary connects).
    void RefreshDefaultIndex() override;
    // The last auto-increment value the engine gave on this table.
    UNSIGNED32 LastAutoInc();

  protected:
    ADSHANDLE OpenCursorHandle() override;

  private:
    friend class TAdsIndexFiles;
    void openIndexFile(const std::string& name);
    void closeIndexFile(const std::string& name);

    TAdsIndexFiles indexFiles_{this};
    bool storeDefs_ = false;
};

}  // namespace ads

#endif
