#include <algorithm>

#include "platform/data/Database.h"
#include "platform/data/Errors.h"
#include "platform/data/FileManager.h"
#include "platform/data/TableImpl.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr::data {

namespace {

// Relations never nest deeper than this; a chain that does (a relation back
// to itself through others) is refused rather than followed for ever.
constexpr int kMaxDepth = 32;

std::vector<Value> LinkValues(const std::vector<RelationManager::Link>& links, const void* record, bool parent) {
    std::vector<Value> v;
    for (const auto& l : links) v.push_back((parent ? l.parent : l.child)->get(record));
    return v;
}

std::vector<const FieldDef*> ChildFields(const RelationManager::Relation& r) {
    std::vector<const FieldDef*> f;
    for (const auto& l : r.links) f.push_back(l.child);
    return f;
}

thread_local int t_depth = 0;

struct DepthGuard {
    bool ok;
    DepthGuard() : ok(++t_depth <= kMaxDepth) {}
    ~DepthGuard() { --t_depth; }
};

}  // namespace

RelationManager::RelationManager() = default;
RelationManager::~RelationManager() = default;

void RelationManager::Init(FileManager* file) {
    me_ = file;
    if (file) file->relations_ = this;
}

void RelationManager::Shutdown() {
    relations_.clear();
    parents_.clear();
    if (me_ && me_->relations_ == this) me_->relations_ = nullptr;
}

void RelationManager::AddRelation(RelationManager* child, int updateMode, int deleteMode, const KeyDef* childKey) {
    Relation r;
    r.child = child;
    r.updateMode = updateMode;
    r.deleteMode = deleteMode;
    r.childKey = childKey;
    relations_.push_back(std::move(r));
}

void RelationManager::AddRelation(RelationManager* child, int updateMode, int deleteMode, std::string_view childKey) {
    const KeyDef* k = child && child->me_ ? child->me_->def().key(childKey) : nullptr;
    AddRelation(child, updateMode, deleteMode, k);
}

void RelationManager::AddRelationLink(std::string_view parentField, std::string_view childField) {
    if (relations_.empty() || !me_) return;
    Relation& r = relations_.back();
    Link l;
    l.parent = me_->def().field(parentField);
    l.child = r.child && r.child->me_ ? r.child->me_->def().field(childField) : nullptr;
    if (l.parent && l.child && !l.parent->isGroup() && !l.child->isGroup()) r.links.push_back(l);
}

void RelationManager::AddRelationFile(RelationManager* parent) {
    if (parent && std::find(parents_.begin(), parents_.end(), parent) == parents_.end()) parents_.push_back(parent);
}

void RelationManager::CollectRelated(std::vector<RelationManager*>& out) {
    if (std::find(out.begin(), out.end(), this) != out.end()) return;
    out.push_back(this);
    for (const Relation& r : relations_)
        if (r.child) r.child->CollectRelated(out);
    for (RelationManager* p : parents_) p->CollectRelated(out);
}

int RelationManager::Open() {
    if (!me_) return kLevelFatal;
    int r = me_->Open();
    if (r != kLevelBenign) return r;
    std::vector<RelationManager*> related;
    CollectRelated(related);
    for (RelationManager* rm : related)
        if (rm != this && rm->me_) rm->me_->TryOpen();
    return kLevelBenign;
}

int RelationManager::Close() {
    if (!me_) return kLevelBenign;
    std::vector<RelationManager*> related;
    CollectRelated(related);
    for (RelationManager* rm : related)
        if (rm != this && rm->me_) rm->me_->Close();
    return me_->Close();
}

void RelationManager::CollectTables(bool isDelete, std::vector<Table*>& out) const {
    Table* t = &me_->File();
    if (std::find(out.begin(), out.end(), t) != out.end()) return;
    out.push_back(t);
    for (const Relation& r : relations_) {
        int mode = isDelete ? r.deleteMode : r.updateMode;
        if ((mode == kRIRestrict || mode == kRICascade) && r.child && r.child->me_) r.child->CollectTables(isDelete, out);
    }
}

RelationManager::Outcome RelationManager::CascadeDelete(const void* record, std::string& blockedBy) {
    DepthGuard depth;
    if (!depth.ok) return Outcome::Failed;
    // Restrictions first, so nothing is touched when one refuses.
    for (const Relation& r : relations_) {
        if (r.deleteMode != kRIRestrict || !r.child || r.links.empty()) continue;
        bool any = false;
        int e = r.child->me_->File().ForEachMatch(r.childKey, ChildFields(r), LinkValues(r.links, record, true),
                                                   [&](int64_t, const void*) {
                                                       any = true;
                                                       return false;
                                                   });
        if (e) return Outcome::Failed;
        if (any) {
            blockedBy = r.child->me_->ErrorName();
            return Outcome::Restricted;
        }
    }
    for (const Relation& r : relations_) {
        if (r.deleteMode != kRICascade || !r.child || r.links.empty()) continue;
        Table& child = r.child->me_->File();
        std::vector<std::pair<int64_t, AnyRecord>> rows;
        int e = child.ForEachMatch(r.childKey, ChildFields(r), LinkValues(r.links, record, true),
                                   [&](int64_t row, const void* rec) {
                                       AnyRecord copy(child.def());
                                       child.def().copy(copy.get(), rec);
                                       rows.emplace_back(row, copy);
                                       return true;
                                   });
        if (e) return Outcome::Failed;
        for (auto& [row, rec] : rows) {
            Outcome o = r.child->CascadeDelete(rec.get(), blockedBy);
            if (o != Outcome::Done) return o;
            if (child.DeleteRow(row) && LastErrorCode() != kRecordNotAvailable) return Outcome::Failed;
        }
    }
    return Outcome::Done;
}

RelationManager::Outcome RelationManager::CascadeUpdate(const void* oldRecord, const void* newRecord,
                                                       std::string& blockedBy) {
    DepthGuard depth;
    if (!depth.ok) return Outcome::Failed;
    auto changed = [&](const Relation& r) {
        return LinkValues(r.links, oldRecord, true) != LinkValues(r.links, newRecord, true);
    };
    for (const Relation& r : relations_) {
        if (r.updateMode != kRIRestrict || !r.child || r.links.empty() || !changed(r)) continue;
        bool any = false;
        int e = r.child->me_->File().ForEachMatch(r.childKey, ChildFields(r), LinkValues(r.links, oldRecord, true),
                                                   [&](int64_t, const void*) {
                                                       any = true;
                                                       return false;
                                                   });
        if (e) return Outcome::Failed;
        if (any) {
            blockedBy = r.child->me_->ErrorName();
            return Outcome::Restricted;
        }
    }
    for (const Relation& r : relations_) {
        if (r.updateMode != kRICascade || !r.child || r.links.empty() || !changed(r)) continue;
        Table& child = r.child->me_->File();
        const TableDef& cdef = child.def();
        std::vector<std::pair<int64_t, AnyRecord>> rows;
        int e = child.ForEachMatch(r.childKey, ChildFields(r), LinkValues(r.links, oldRecord, true),
                                   [&](int64_t row, const void* rec) {
                                       AnyRecord copy(cdef);
                                       cdef.copy(copy.get(), rec);
                                       rows.emplace_back(row, copy);
                                       return true;
                                   });
        if (e) return Outcome::Failed;
        std::vector<Value> newValues = LinkValues(r.links, newRecord, true);
        for (auto& [row, rec] : rows) {
            AnyRecord updated(rec);
            for (std::size_t i = 0; i < r.links.size(); ++i) r.links[i].child->set(updated.get(), newValues[i]);
            Outcome o = r.child->CascadeUpdate(rec.get(), updated.get(), blockedBy);
            if (o != Outcome::Done) return o;
            if (child.UpdateRowFields(row, ChildFields(r), newValues)) return Outcome::Failed;
        }
    }
    return Outcome::Done;
}

int RelationManager::Apply(bool isDelete, bool report) {
    if (!me_) return kLevelFatal;
    FileManager& fm = *me_;
    if (fm.UseFile()) return report ? fm.ReportError(kMsgOpenFailed) : kLevelFatal;
    Table& t = fm.File();
    const TableDef& def = t.def();
    int64_t row = t.Pointer();
    int failMsg = isDelete ? kMsgDeleteFailed : kMsgPutFailed;
    if (row == 0) {
        SetLastError(kRecordNotAvailable);
        return report ? fm.ReportError(failMsg) : kLevelNotify;
    }
    // Every file of the chain in one transaction, in a fixed order.
    std::vector<Table*> tables;
    CollectTables(isDelete, tables);
    std::vector<std::shared_ptr<Database>> dbs;
    for (Table* tb : tables)
        if (auto d = tb->impl().connection())
            if (std::find(dbs.begin(), dbs.end(), d) == dbs.end()) dbs.push_back(d);
    std::sort(dbs.begin(), dbs.end(), [](const auto& a, const auto& b) { return a->path() < b->path(); });
    std::vector<std::unique_ptr<WriteScope>> scopes;
    for (auto& d : dbs) {
        scopes.push_back(std::make_unique<WriteScope>(*d));
        if (int e = scopes.back()->error()) {
            scopes.clear();
            SetLastError(e, LastFileErrorCode(), LastFileErrorText());
            return report ? fm.ReportError(kMsgLogoutFailed) : kLevelFatal;
        }
    }

    AnyRecord stored(def);
    int e = t.ReadRow(row, stored.get());
    Outcome outcome = Outcome::Failed;
    std::string blockedBy;
    if (e == 0) {
        if (isDelete) {
            outcome = CascadeDelete(stored.get(), blockedBy);
            if (outcome == Outcome::Done && t.Delete()) outcome = Outcome::Failed;
        } else {
            outcome = CascadeUpdate(stored.get(), t.Record(), blockedBy);
            if (outcome == Outcome::Done && t.Put()) outcome = Outcome::Failed;
        }
    } else if (e == kRecordNotFound) {
        SetLastError(kRecordNotAvailable);
    }
    if (outcome == Outcome::Done) {
        int code = 0;
        for (auto& s : scopes)
            if (!code) code = s->Commit();
        if (code) {
            scopes.clear();
            return report ? fm.ReportError(failMsg) : kLevelFatal;
        }
        ClearLastError();
        return kLevelBenign;
    }
    int code = LastErrorCode();
    std::string fc = LastFileErrorCode(), ft = LastFileErrorText();
    scopes.clear();  // rolls every file back
    if (outcome == Outcome::Restricted) {
        SetLastError(kRecordNotAvailable, "", "The record is referenced from " + blockedBy);
        if (!isDelete) {
            // The linking fields go back to their stored values.
            for (const Relation& r : relations_)
                if (r.updateMode == kRIRestrict)
                    for (const Link& l : r.links) l.parent->set(t.Record(), l.parent->get(stored.get()));
        }
        if (report && fm.Errors()) {
            fm.Errors()->SetFile(blockedBy);
            fm.Errors()->Throw(isDelete ? kMsgRestrictDelete : kMsgRestrictUpdate);
            SetLastError(kRecordNotAvailable, "", "The record is referenced from " + blockedBy);
        }
        return kLevelNotify;
    }
    if (code == 0) SetLastError(kDriverError, "", "The relations could not be applied (they nest too deeply)");
    else SetLastError(code, fc, ft);
    if (report) return fm.ReportError(failMsg);
    return code == kDuplicateKey || code == kRecordNotAvailable ? kLevelNotify : kLevelFatal;
}

int RelationManager::Delete(bool query) {
    if (query && me_ && me_->Errors()) {
        int button = me_->Throw(kMsgConfirmDelete);
        if (button != kButtonOk && button != kButtonYes) return kLevelCancel;
    }
    return Apply(true, true);
}

int RelationManager::TryDelete() { return Apply(true, false); }
int RelationManager::Update(bool) { return Apply(false, true); }
int RelationManager::TryUpdate() { return Apply(false, false); }

}  // namespace kr::data
