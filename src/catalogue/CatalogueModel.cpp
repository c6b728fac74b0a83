#include "catalogue/CatalogueModel.h"

#include "core/Helpers.h"

QString CatalogueKey(const QString& filename, const QString& filemaketime)
{
    return TrimLowChars(filename + filemaketime);
}

void SetRecordFolder(Listviewdata& record, const QString& folder, const QString& rootText)
{
    const QString root = TrimLowChars(rootText);
    // Only a leading root is taken off: the same text deeper in the path is a folder of its own.
    if (!root.isEmpty() && folder.startsWith(root)) {
        record.sroot = root;
        record.spath = folder.mid(root.size());
    } else {
        record.sroot.clear();
        record.spath = folder;
    }
}

QString RecordPath(const Listviewdata& record)
{
    return record.sroot + record.spath + record.filename;
}

PListviewdata CatalogueIndex::insert(const QString& key, std::unique_ptr<Listviewdata> record)
{
    auto& slot = records_[key];
    slot = std::move(record);
    return slot.get();
}

PListviewdata CatalogueIndex::find(const QString& key) const
{
    const auto it = records_.find(key);
    return it == records_.end() ? nullptr : it->second.get();
}

bool CatalogueIndex::remove(const QString& key)
{
    return records_.erase(key) > 0;
}

void CatalogueIndex::clear()
{
    records_.clear();
}
