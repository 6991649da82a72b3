#include "framework/db.h"

#include <algorithm>
#include <charconv>

namespace quorlane {
namespace {

constexpr TPropertyInfo kDataSetProperties[] = {
    props::Boolean<TDataSet, &TDataSet::Active, &TDataSet::SetActive>("Active"),
};
constexpr TPropertyInfo kDataSourceProperties[] = {
    props::Object<TDataSource, TDataSet, &TDataSource::DataSet, &TDataSource::SetDataSet>("DataSet"),
};

bool IsIntegerType(TFieldType type) noexcept {
  switch (type) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftAutoInc:
    case TFieldType::ftLargeint:
      return true;
    default:
      return false;
  }
}

std::optional<std::int64_t> ParseInteger(std::string_view text) noexcept {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

const std::optional<std::string> kNull;

}  // namespace

QL_DEFINE_CLASS(TField, TPersistent, {})
QL_DEFINE_CLASS(TDataSet, TComponent, kDataSetProperties)
QL_DEFINE_CLASS(TDataSource, TComponent, kDataSourceProperties)

// ---- TField ---------------------------------------------------------------

std::string TField::AsString() const {
  const auto& value = m_dataSet.FieldValue(m_index);
  return value ? *value : std::string();
}

void TField::SetAsString(const std::string& text) {
  if (text.empty()) return Write(std::nullopt);
  if (IsIntegerType(DataType()) && !ParseInteger(text)) {
    throw Exception("'" + text + "' is not a valid integer value");
  }
  Write(text);
}

std::int64_t TField::AsInteger() const {
  const auto& value = m_dataSet.FieldValue(m_index);
  if (!value) return 0;
  const auto number = ParseInteger(*value);
  if (!number) throw Exception("'" + *value + "' is not a valid integer value");
  return *number;
}

void TField::SetAsInteger(std::int64_t value) { SetAsString(std::to_string(value)); }

bool TField::IsNull() const { return !m_dataSet.FieldValue(m_index).has_value(); }

void TField::Clear() { Write(std::nullopt); }

void TField::Write(std::optional<std::string> value) { m_dataSet.WriteField(*this, std::move(value)); }

// ---- TDataSet -------------------------------------------------------------

// Sources are let go here: by the time the component base tells the
// components linked to this one, this object's members are gone.
TDataSet::~TDataSet() {
  const std::vector<TDataSource*> sources = std::move(m_sources);
  m_sources.clear();
  for (TDataSource* source : sources) {
    source->m_dataSet = nullptr;
    source->DataEvent(TDataEvent::deUpdateState);
  }
}

void TDataSet::AddFieldDef(std::string name, TFieldType type, int size) {
  if (Active()) throw Exception("cannot change the fields of an open dataset");
  m_fieldDefs.push_back({std::move(name), type, size});
}

TField& TDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) throw Exception("field index out of bounds");
  return *m_fields[static_cast<std::size_t>(index)];
}

int TDataSet::FieldDefIndex(std::string_view name) const noexcept {
  for (std::size_t i = 0; i < m_fieldDefs.size(); ++i) {
    const std::string& n = m_fieldDefs[i].Name;
    if (n.size() == name.size() && std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
          return (a >= 'A' && a <= 'Z' ? a + 32 : a) == (b >= 'A' && b <= 'Z' ? b + 32 : b);
        })) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

TField* TDataSet::FindField(std::string_view name) const noexcept {
  const int index = FieldDefIndex(name);
  return (index >= 0 && index < FieldCount()) ? m_fields[static_cast<std::size_t>(index)].get() : nullptr;
}

TField& TDataSet::FieldByName(std::string_view name) const {
  TField* field = FindField(name);
  if (field == nullptr) throw Exception(std::string(Name()) + ": field '" + std::string(name) + "' not found");
  return *field;
}

void TDataSet::SetActive(bool active) {
  if (IsLoading()) {
    m_streamedActive = active;
    return;
  }
  if (active == Active()) return;
  if (active) {
    m_fields.clear();
    for (std::size_t i = 0; i < m_fieldDefs.size(); ++i) {
      m_fields.push_back(std::make_unique<TField>(*this, static_cast<int>(i), m_fieldDefs[i]));
    }
    m_current = m_records.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_records.empty();
    SetState(TDataSetState::dsBrowse);
  } else {
    m_buffer.clear();
    SetState(TDataSetState::dsInactive);
    m_fields.clear();
    m_current = -1;
    m_bof = m_eof = true;
  }
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (m_streamedActive) SetActive(true);
}

void TDataSet::RequireActive() const {
  if (!Active()) throw Exception("cannot perform this operation on a closed dataset");
}

void TDataSet::CheckBrowseMode() {
  RequireActive();
  if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) Post();
}

void TDataSet::First() {
  CheckBrowseMode();
  m_current = m_records.empty() ? -1 : 0;
  m_bof = true;
  m_eof = m_records.empty();
  DataEvent(TDataEvent::deDataSetScroll);
}

void TDataSet::Next() {
  CheckBrowseMode();
  if (m_current + 1 < RecordCount()) {
    ++m_current;
    m_bof = false;
    m_eof = false;
  } else {
    m_eof = true;
  }
  DataEvent(TDataEvent::deDataSetScroll);
}

void TDataSet::Prior() {
  CheckBrowseMode();
  if (m_current > 0) {
    --m_current;
    m_bof = false;
    m_eof = false;
  } else {
    m_bof = true;
  }
  DataEvent(TDataEvent::deDataSetScroll);
}

void TDataSet::Last() {
  CheckBrowseMode();
  m_current = RecordCount() - 1;
  m_eof = true;
  m_bof = m_records.empty();
  DataEvent(TDataEvent::deDataSetScroll);
}

void TDataSet::Edit() {
  RequireActive();
  if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) return;
  if (m_records.empty()) return Append();
  m_buffer = m_records[static_cast<std::size_t>(m_current)];
  SetState(TDataSetState::dsEdit);
  if (AfterEdit) AfterEdit(*this);
}

void TDataSet::Append() {
  CheckBrowseMode();
  m_buffer.assign(m_fieldDefs.size(), std::nullopt);
  SetState(TDataSetState::dsInsert);
}

void TDataSet::Post() {
  if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) {
    throw Exception("dataset not in edit or insert mode");
  }
  const bool inserted = m_state == TDataSetState::dsInsert;
  if (inserted) {
    m_records.push_back(std::move(m_buffer));
    m_current = RecordCount() - 1;
    m_bof = m_eof = false;
  } else {
    m_records[static_cast<std::size_t>(m_current)] = std::move(m_buffer);
  }
  m_buffer.clear();
  SetState(TDataSetState::dsBrowse);
  DataEvent(inserted ? TDataEvent::deDataSetChange : TDataEvent::deRecordChange);
  if (AfterPost) AfterPost(*this);
}

void TDataSet::Cancel() {
  if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
  m_buffer.clear();
  SetState(TDataSetState::dsBrowse);
}

void TDataSet::AppendRecord(TRecordValues values) {
  RequireActive();
  if (values.size() != m_fieldDefs.size()) throw Exception("record has the wrong number of values");
  Append();
  int index = 0;
  for (const auto& value : values) {
    if (value) Fields(index).SetAsString(*value);
    ++index;
  }
  Post();
}

void TDataSet::DisableControls() noexcept {
  if (m_disableCount++ == 0) m_disableState = m_state;
}

void TDataSet::EnableControls() {
  if (m_disableCount == 0) return;
  if (--m_disableCount > 0) return;
  if (m_disableState != m_state) DataEvent(TDataEvent::deUpdateState);
  if (m_disableState != TDataSetState::dsInactive && m_state != TDataSetState::dsInactive) {
    DataEvent(TDataEvent::deDataSetChange);
  }
}

std::optional<std::string> TDataSet::Value(int record, int field) const {
  if (record < 0 || record >= RecordCount() || field < 0 || field >= static_cast<int>(m_fieldDefs.size())) {
    return std::nullopt;
  }
  return m_records[static_cast<std::size_t>(record)][static_cast<std::size_t>(field)];
}

void TDataSet::SetState(TDataSetState state) {
  if (state == m_state) return;
  m_state = state;
  DataEvent(TDataEvent::deUpdateState);
}

void TDataSet::DataEvent(TDataEvent event) {
  if (m_disableCount > 0) return;
  // A link may drop its source while it hears an event: walk a copy.
  const std::vector<TDataSource*> sources = m_sources;
  for (TDataSource* source : sources) source->DataEvent(event);
}

const std::optional<std::string>& TDataSet::FieldValue(int field) const {
  if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) {
    return m_buffer[static_cast<std::size_t>(field)];
  }
  if (m_current < 0) return kNull;
  return m_records[static_cast<std::size_t>(m_current)][static_cast<std::size_t>(field)];
}

void TDataSet::WriteField(TField& field, std::optional<std::string> value) {
  if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) {
    throw Exception("dataset not in edit or insert mode");
  }
  m_buffer[static_cast<std::size_t>(field.Index())] = std::move(value);
  if (field.OnChange) field.OnChange(field);
  DataEvent(TDataEvent::deFieldChange);
}

// ---- TDataSource and TDataLink --------------------------------------------

TDataSource::~TDataSource() {
  for (TDataLink* link : m_links) link->m_source = nullptr;
  m_links.clear();
  if (m_dataSet != nullptr) std::erase(m_dataSet->m_sources, this);
  m_dataSet = nullptr;
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == m_dataSet) return;
  if (m_dataSet != nullptr) {
    std::erase(m_dataSet->m_sources, this);
    RemoveFreeNotification(*m_dataSet);
  }
  m_dataSet = dataSet;
  if (dataSet != nullptr) {
    dataSet->m_sources.push_back(this);
    dataSet->FreeNotification(*this);
  }
  DataEvent(TDataEvent::deUpdateState);
}

void TDataSource::Notification(TComponent& component, TOperation operation) {
  TComponent::Notification(component, operation);
  // The dataset let this source go already (see ~TDataSet).
  if (operation == TOperation::opRemove && &component == m_dataSet) m_dataSet = nullptr;
}

void TDataSource::DataEvent(TDataEvent event) {
  const std::vector<TDataLink*> links = m_links;
  for (TDataLink* link : links) link->DataEvent(event);
}

TDataLink::~TDataLink() {
  if (m_source != nullptr) std::erase(m_source->m_links, this);
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == m_source) return;
  if (m_source != nullptr) std::erase(m_source->m_links, this);
  m_source = source;
  if (source != nullptr) source->m_links.push_back(this);
  DataEvent(TDataEvent::deUpdateState);
}

TDataSet* TDataLink::DataSet() const noexcept { return m_source != nullptr ? m_source->DataSet() : nullptr; }

bool TDataLink::Active() const noexcept {
  const TDataSet* dataSet = DataSet();
  return dataSet != nullptr && dataSet->Active();
}

}  // namespace quorlane
