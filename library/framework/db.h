// Datasets: an in-memory dataset with field definitions and records, its
// fields (data type, value as text), the browse / edit / insert states, and
// the data sources and data links through which data-aware controls follow
// it. While a dataset's controls are disabled its links hear nothing; the
// EnableControls that ends that tells them once (as the host's framework
// does), so a loop over every record redraws a grid once, not per record.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/components.h"

namespace quorlane {

/// The host framework's field types, by ordinal.
enum class TFieldType : std::uint8_t {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD, ftDate, ftTime,
  ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle,
  ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint,
};

enum class TDataSetState : std::uint8_t { dsInactive, dsBrowse, dsEdit, dsInsert };

/// What a dataset tells its links.
enum class TDataEvent : std::uint8_t {
  deFieldChange,    // a field of the edited record was written
  deRecordChange,   // the current record was posted
  deDataSetChange,  // records came or went, or anything may have changed
  deDataSetScroll,  // another record became current
  deUpdateState,    // the state changed (opened, closed, edit, browse)
};

struct TFieldDef {
  std::string Name;
  TFieldType DataType = TFieldType::ftString;
  int Size = 0;
};

class TDataSet;
class TDataSource;

/// One column of the dataset's records. Exists while the dataset is open.
class TField : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  TField(TDataSet& dataSet, int index, TFieldDef definition) noexcept
      : m_dataSet(dataSet), m_index(index), m_definition(std::move(definition)) {}

  [[nodiscard]] const std::string& FieldName() const noexcept { return m_definition.Name; }
  [[nodiscard]] TFieldType DataType() const noexcept { return m_definition.DataType; }
  [[nodiscard]] int Size() const noexcept { return m_definition.Size; }
  [[nodiscard]] int Index() const noexcept { return m_index; }
  [[nodiscard]] TDataSet& DataSet() const noexcept { return m_dataSet; }

  /// The value of the current (or edited) record as text; null reads empty.
  [[nodiscard]] std::string AsString() const;
  /// Only while the dataset edits or inserts a record; an integer field
  /// takes decimal text only, and the empty text makes any field null.
  void SetAsString(const std::string& text);
  [[nodiscard]] std::int64_t AsInteger() const;
  void SetAsInteger(std::int64_t value);
  [[nodiscard]] bool IsNull() const;
  void Clear();

  /// After each write of this field's value.
  std::function<void(TField&)> OnChange;

 private:
  void Write(std::optional<std::string> value);
  TDataSet& m_dataSet;
  int m_index;
  TFieldDef m_definition;
};

class TDataSet : public TComponent {
  QL_DECLARE_CLASS()
 public:
  using TRecordValues = std::initializer_list<std::optional<std::string>>;

  explicit TDataSet(TComponent* owner) : TComponent(owner) {}
  ~TDataSet() override;

  /// The fields a dataset opens with; changed only while it is closed.
  void AddFieldDef(std::string name, TFieldType type, int size = 0);
  [[nodiscard]] const std::vector<TFieldDef>& FieldDefs() const noexcept { return m_fieldDefs; }

  [[nodiscard]] int FieldCount() const noexcept { return static_cast<int>(m_fields.size()); }
  [[nodiscard]] TField& Fields(int index) const;
  [[nodiscard]] TField* FindField(std::string_view name) const noexcept;
  [[nodiscard]] TField& FieldByName(std::string_view name) const;

  [[nodiscard]] bool Active() const noexcept { return m_state != TDataSetState::dsInactive; }
  /// While the dataset is being loaded the value waits for Loaded.
  void SetActive(bool active);
  void Open() { SetActive(true); }
  /// Cancels an edit; the records stay for the next Open.
  void Close() { SetActive(false); }
  [[nodiscard]] TDataSetState State() const noexcept { return m_state; }

  // Moving posts an edited record first.
  void First();
  void Next();
  void Prior();
  void Last();
  [[nodiscard]] bool Eof() const noexcept { return m_eof; }
  [[nodiscard]] bool Bof() const noexcept { return m_bof; }
  /// 1-based; 0 when there is no record.
  [[nodiscard]] int RecNo() const noexcept { return m_current + 1; }
  [[nodiscard]] int RecordCount() const noexcept { return static_cast<int>(m_records.size()); }

  /// Edits the current record (an empty dataset appends one instead).
  void Edit();
  void Append();
  void Post();
  void Cancel();
  /// Appends and posts one record with these values (null: no value).
  void AppendRecord(TRecordValues values);

  void DisableControls() noexcept;
  void EnableControls();
  [[nodiscard]] bool ControlsDisabled() const noexcept { return m_disableCount > 0; }

  /// A stored value, for controls that show records without moving to them.
  [[nodiscard]] std::optional<std::string> Value(int record, int field) const;
  [[nodiscard]] int FieldDefIndex(std::string_view name) const noexcept;

  std::function<void(TDataSet&)> AfterEdit;
  std::function<void(TDataSet&)> AfterPost;

 protected:
  void Loaded() override;

 private:
  friend class TField;
  friend class TDataSource;
  void RequireActive() const;
  void CheckBrowseMode();
  void SetState(TDataSetState state);
  void DataEvent(TDataEvent event);
  [[nodiscard]] const std::optional<std::string>& FieldValue(int field) const;
  void WriteField(TField& field, std::optional<std::string> value);

  std::vector<TFieldDef> m_fieldDefs;
  std::vector<std::unique_ptr<TField>> m_fields;
  std::vector<std::vector<std::optional<std::string>>> m_records;
  std::vector<std::optional<std::string>> m_buffer;
  std::vector<TDataSource*> m_sources;
  TDataSetState m_state = TDataSetState::dsInactive;
  TDataSetState m_disableState = TDataSetState::dsInactive;
  int m_current = -1;
  int m_disableCount = 0;
  bool m_eof = true;
  bool m_bof = true;
  bool m_streamedActive = false;
};

/// What a data-aware control follows a dataset through (see TDataSource).
class TDataLink {
 public:
  TDataLink() = default;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;
  virtual ~TDataLink();

  [[nodiscard]] TDataSource* DataSource() const noexcept { return m_source; }
  void SetDataSource(TDataSource* source);
  [[nodiscard]] TDataSet* DataSet() const noexcept;
  [[nodiscard]] bool Active() const noexcept;

 protected:
  /// Heard only while the dataset's controls are enabled.
  virtual void DataEvent(TDataEvent) {}

 private:
  friend class TDataSource;
  TDataSource* m_source = nullptr;
};

/// Connects data-aware controls (through their links) to a dataset.
class TDataSource : public TComponent {
  QL_DECLARE_CLASS()
 public:
  explicit TDataSource(TComponent* owner) : TComponent(owner) {}
  ~TDataSource() override;
  [[nodiscard]] TDataSet* DataSet() const noexcept { return m_dataSet; }
  void SetDataSet(TDataSet* dataSet);

 protected:
  void Notification(TComponent& component, TOperation operation) override;

 private:
  friend class TDataSet;
  friend class TDataLink;
  void DataEvent(TDataEvent event);
  TDataSet* m_dataSet = nullptr;
  std::vector<TDataLink*> m_links;
};

}  // namespace quorlane
