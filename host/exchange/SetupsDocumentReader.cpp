#include "host/exchange/SetupsDocumentReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "host/exchange/JsonEvents.h"
#include "host/exchange/SetupsDocument.h"
#include "host/store/SettingFields.h"
#include "host/store/SettingsColumns.h"
#include "host/store/SetupNames.h"
#include "support/Utf.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost::detail {

namespace {

using Kind = SettingKind;

// A value as the checks see it: a scalar, or a container whose contents come as later events.
struct Value {
  const JsonScalar* scalar = nullptr;  // null for a container
  bool object = false;

  bool IsObject() const { return scalar == nullptr && object; }
  bool IsArray() const { return scalar == nullptr && !object; }
  bool IsString() const { return scalar != nullptr && scalar->type == JsonScalar::Type::String; }
  std::string TypeName() const {
    return scalar != nullptr ? scalar->TypeName() : ContainerName(object);
  }
};

std::string Expected(Kind kind) {
  return std::string("expected ") +
         (kind == Kind::Bool     ? "true or false"
          : kind == Kind::Double ? "a number"
                                 : "an integer") +
         " (" + KindName(kind) + ")";
}

// The value of node as kind, or the reason it is none.
std::optional<FieldValue> CheckValue(const JsonScalar& node, Kind kind, std::string& why) {
  using Type = JsonScalar::Type;
  FieldValue value;
  const auto range = [&](std::int64_t low, std::uint64_t high) -> std::optional<FieldValue> {
    const bool negative = node.type == Type::Signed && node.signedValue < 0;
    const bool inRange =
        negative ? node.signedValue >= low
                 : (node.type == Type::Unsigned ? node.unsignedValue
                                                : std::uint64_t(node.signedValue)) <= high;
    if (!inRange) {
      why = std::string("out of the range of ") + KindName(kind) + " (" + std::to_string(low) +
            " to " + std::to_string(high) + ")";
      return std::nullopt;
    }
    value.integer = negative ? node.signedValue : 0;
    value.unsignedInteger =
        node.type == Type::Unsigned ? node.unsignedValue : std::uint64_t(node.signedValue);
    if (!negative) value.integer = static_cast<std::int64_t>(value.unsignedInteger);
    return value;
  };
  const bool integer = node.type == Type::Signed || node.type == Type::Unsigned;
  switch (kind) {
    case Kind::Bool:
      if (node.type != Type::Bool) break;
      value.boolean = node.boolean;
      return value;
    case Kind::Double:
      if (!node.IsNumber()) break;
      value.real = node.type == Type::Float      ? node.floatValue
                   : node.type == Type::Unsigned ? double(node.unsignedValue)
                                                 : double(node.signedValue);
      if (!std::isfinite(value.real)) {
        why = "out of the range of Double";
        return std::nullopt;
      }
      return value;
    case Kind::UInt32:
      if (!integer) break;
      return range(0, std::numeric_limits<std::uint32_t>::max());
    case Kind::Int32:
      if (!integer) break;
      return range(std::numeric_limits<std::int32_t>::min(),
                   std::numeric_limits<std::int32_t>::max());
    case Kind::UInt64:
      if (!integer) break;
      return range(0, std::numeric_limits<std::uint64_t>::max());
  }
  why = Expected(kind) + ", got " + node.TypeName();
  return std::nullopt;
}

// Why the host would not store a setup of that name, or empty.
std::string NameProblem(std::u16string_view name) {
  return RefusalOfSetupName(name).value_or("");
}

// The field of that key, or -1. Documents list the fields in the record's order, so the one after
// the last is tried first.
int FieldIndex(std::string_view key, int previous) {
  const std::vector<Field>& fields = Fields();
  const std::size_t next = static_cast<std::size_t>(previous + 1);
  if (next < fields.size() && key == fields[next].key) return int(next);
  static const auto byKey = [&] {
    std::unordered_map<std::string_view, int> map;
    for (std::size_t i = 0; i < fields.size(); ++i) map.emplace(fields[i].key, int(i));
    return map;
  }();
  const auto found = byKey.find(key);
  return found == byKey.end() ? -1 : found->second;
}

// A member's first line once it was seen, 0 before.
using SeenAt = std::size_t;

enum class SourceMember { LibraryFile, LibraryPath, LibrarySetup, TakenAt, Base, Count };
constexpr std::array<const char*, std::size_t(SourceMember::Count)> kSourceMembers = {
    "libraryFile", "libraryPath", "librarySetup", "takenAt", "base"};

constexpr std::array<const char*, 3> kOverrideMembers = {"reason", "madeBy", "madeAt"};

// "2026-12-06T00:15:02Z", as the host writes times.
bool IsUtcTime(std::string_view text) {
  constexpr std::string_view pattern = "dddd-dd-ddTdd:dd:ddZ";
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return false;
  }
  return true;
}

class DocumentChecker final : public JsonEvents {
 public:
  DocumentChecker(std::string file, SetupsRead& read,
                  const std::unordered_set<std::u16string>* taken)
      : file_(std::move(file)), read_(read), taken_(taken), settingsSeen_(Fields().size()) {}

  void Key(std::string_view key, std::size_t) override {
    if (skipDepth_ == 0) key_.assign(key);
  }
  void Scalar(const JsonScalar& scalar, std::size_t line) override {
    if (skipDepth_ == 0) Take(Value{&scalar, false}, line);
  }
  void Open(bool object, std::size_t line) override {
    if (skipDepth_ > 0) {
      ++skipDepth_;
      return;
    }
    if (const std::optional<Frame> frame = Take(Value{nullptr, object}, line)) {
      frames_.push_back(*frame);
    } else {
      skipDepth_ = 1;
    }
  }
  void Close() override {
    if (skipDepth_ > 0) {
      --skipDepth_;
      return;
    }
    const Frame frame = frames_.back();
    frames_.pop_back();
    switch (frame) {
      case Frame::Settings:
        EndSettings();
        break;
      case Frame::Source:
        EndSource();
        break;
      case Frame::Setup:
        EndSetup();
        break;
      case Frame::Names:
        EndNames();
        break;
      case Frame::Override:
        EndOverride();
        break;
      case Frame::Root:
      case Frame::Setups:
      case Frame::Notes:
      case Frame::Locks:
      case Frame::Overrides:
      case Frame::Overlays:
        break;
    }
  }

  /// After the whole text was read.
  void Finish() {
    if (!rootProblem_.empty()) {
      read_ = SetupsRead{};
      read_.problems = {{file_, rootLine_, "", rootProblem_}};
      return;
    }
    for (const auto& [member, seen] :
         {std::pair{"format", format_}, {"version", version_}, {"setups", setups_}}) {
      if (seen == 0) Problem(rootLine_, member, "missing");
    }
  }

 private:
  enum class Frame {
    Root,
    Setups,
    Setup,
    Settings,
    Source,
    Notes,
    Names,
    Locks,
    Overrides,
    Override,
    Overlays
  };

  void Problem(std::size_t line, std::string property, std::string message) {
    // Nothing will be stored now: the setups read so far need no memory any more.
    if (problemCount_++ == 0) {
      read_.records = decltype(read_.records)();
      read_.sources = decltype(read_.sources)();
      read_.standards = decltype(read_.standards)();
      read_.overlays = decltype(read_.overlays)();
      read_.lines = decltype(read_.lines)();
    }
    if (read_.problems.size() == kMaxListedProblems) {
      ++read_.unlisted;
      return;
    }
    read_.problems.push_back({file_, line, std::move(property), std::move(message)});
  }
  // A member seen before is reported and its value not read; else it is marked seen.
  bool Repeated(SeenAt& seen, std::size_t line, const std::string& property) {
    if (seen == 0) {
      seen = line;
      return false;
    }
    Problem(line, property, "repeated (first at line " + std::to_string(seen) + ")");
    return true;
  }
  std::string SetupPath() const { return "setups[" + std::to_string(setupIndex_) + "]"; }

  // Checks a value where it stands; returns what to read its contents as (a container that is
  // not read is skipped).
  std::optional<Frame> Take(const Value& value, std::size_t line) {
    if (frames_.empty()) return TakeRoot(value, line);
    switch (frames_.back()) {
      case Frame::Root:
        return TakeRootMember(value, line);
      case Frame::Setups:
        return TakeSetup(value, line);
      case Frame::Setup:
        return TakeSetupMember(value, line);
      case Frame::Settings:
        TakeSetting(value, line);
        return std::nullopt;
      case Frame::Source:
        return TakeSourceMember(value, line);
      case Frame::Notes:
        TakeText(value, line, setup_.standards.notes, kMaxNoteLength, "notes");
        return std::nullopt;
      case Frame::Locks:
        TakeText(value, line, setup_.standards.locks, kMaxReasonLength, "locks");
        return std::nullopt;
      case Frame::Names:
        TakeName(value, line);
        return std::nullopt;
      case Frame::Overrides:
        return TakeOverride(value, line);
      case Frame::Override:
        TakeOverrideMember(value, line);
        return std::nullopt;
      case Frame::Overlays:
        return TakeOverlay(value, line);
    }
    return std::nullopt;
  }

  std::optional<Frame> TakeRoot(const Value& value, std::size_t line) {
    rootLine_ = line;
    if (value.IsObject()) return Frame::Root;
    rootProblem_ = "expected an object, got " + value.TypeName();
    return std::nullopt;
  }

  std::optional<Frame> TakeRootMember(const Value& value, std::size_t line) {
    if (key_ == "format") {
      if (Repeated(format_, line, key_)) return std::nullopt;
      if (!value.IsString() || value.scalar->text != kSetupsFormatName) {
        Problem(line, key_, std::string("expected \"") + kSetupsFormatName + "\"");
      }
      return std::nullopt;
    }
    if (key_ == "version") {
      if (Repeated(version_, line, key_)) return std::nullopt;
      const bool integer =
          value.scalar != nullptr && value.scalar->type == JsonScalar::Type::Unsigned;
      const std::uint64_t number = integer ? value.scalar->unsignedValue : 0;
      if (!integer || number != std::uint64_t(kSetupsFormatVersion)) {
        Problem(line, key_,
                integer && number > std::uint64_t(kSetupsFormatVersion)
                    ? "version " + std::to_string(number) + " is newer than version " +
                          std::to_string(kSetupsFormatVersion) + " that this host reads"
                    : "expected " + std::to_string(kSetupsFormatVersion));
      }
      return std::nullopt;
    }
    if (key_ == "setups") {
      if (Repeated(setups_, line, key_)) return std::nullopt;
      if (value.IsArray()) return Frame::Setups;
      Problem(line, key_, "expected an array, got " + value.TypeName());
      return std::nullopt;
    }
    Problem(line, key_, "unknown member");
    return std::nullopt;
  }

  std::optional<Frame> TakeSetup(const Value& value, std::size_t line) {
    setupIndex_ = nextSetupIndex_++;
    if (!value.IsObject()) {
      Problem(line, SetupPath(), "expected an object, got " + value.TypeName());
      return std::nullopt;
    }
    setup_ = SetupState{};
    setup_.line = line;
    return Frame::Setup;
  }

  std::optional<Frame> TakeSetupMember(const Value& value, std::size_t line) {
    const std::string path = SetupPath() + "." + key_;
    if (key_ == "name") {
      if (Repeated(setup_.name, line, path)) return std::nullopt;
      if (!value.IsString()) {
        Problem(line, path, "expected a string, got " + value.TypeName());
        return std::nullopt;
      }
      setup_.record.first = ornr::Utf8ToUtf16(value.scalar->text);
      setup_.nameLine = line;
      if (const std::string why = NameProblem(setup_.record.first); !why.empty()) {
        Problem(line, path, why);
      }
      return std::nullopt;
    }
    if (key_ == "settings") {
      if (Repeated(setup_.settings, line, path)) return std::nullopt;
      return BeginSettings(value, line, path, setup_.record.second);
    }
    if (key_ == "source") {
      if (Repeated(setup_.source, line, path)) return std::nullopt;
      return BeginSource(value, line, path, false);
    }
    if (key_ == "description") {
      if (Repeated(setup_.description, line, path)) return std::nullopt;
      if (const auto text = Text(value, line, path, kMaxNoteLength)) {
        setup_.standards.description = *text;
      }
      return std::nullopt;
    }
    if (key_ == "notes" || key_ == "locks" || key_ == "overrides") {
      SeenAt& seen = key_ == "notes"   ? setup_.notes
                     : key_ == "locks" ? setup_.locks
                                       : setup_.overrides;
      if (Repeated(seen, line, path)) return std::nullopt;
      if (!value.IsObject()) {
        Problem(line, path, "expected an object, got " + value.TypeName());
        return std::nullopt;
      }
      members_ = MembersState{path, {}};
      return key_ == "notes" ? Frame::Notes : key_ == "locks" ? Frame::Locks : Frame::Overrides;
    }
    if (key_ == "scope") {
      if (Repeated(setup_.scope, line, path)) return std::nullopt;
      return BeginNames(value, line, path, &setup_.scopeSet);
    }
    if (key_ == "overlays") {
      if (Repeated(setup_.overlaysSeen, line, path)) return std::nullopt;
      if (!value.IsArray()) {
        Problem(line, path, "expected an array, got " + value.TypeName());
        return std::nullopt;
      }
      overlayIndex_ = 0;
      return Frame::Overlays;
    }
    Problem(line, path, "unknown member");
    return std::nullopt;
  }

  // A text of 1 to limit characters, or nothing and the problem said.
  std::optional<std::string> Text(const Value& value, std::size_t line, const std::string& path,
                                  std::size_t limit) {
    if (!value.IsString() || value.scalar->text.empty()) {
      Problem(line, path, "expected a text that is not empty, got " + value.TypeName());
      return std::nullopt;
    }
    if (ornr::Utf8ToUtf16(value.scalar->text).size() > limit) {
      Problem(line, path, "longer than " + std::to_string(limit) + " characters");
      return std::nullopt;
    }
    return std::string(value.scalar->text);
  }

  // A member of notes or locks: a property once, with its text.
  void TakeText(const Value& value, std::size_t line, std::map<std::string, std::string>& into,
                std::size_t limit, const char*) {
    const std::string path = members_.path + "." + key_;
    if (!SettingIndex(key_)) {
      Problem(line, path, "unknown property");
      return;
    }
    if (Repeated(members_.seen[key_], line, path)) return;
    if (const auto text = Text(value, line, path, limit)) into[key_] = *text;
  }

  // A list of property names, each once, at least one.
  std::optional<Frame> BeginNames(const Value& value, std::size_t line, std::string path,
                                  std::optional<PropertySet>* into) {
    if (!value.IsArray()) {
      Problem(line, path, "expected an array, got " + value.TypeName());
      return std::nullopt;
    }
    names_ = NamesState{std::move(path), line, 0, {}, into};
    return Frame::Names;
  }

  void TakeName(const Value& value, std::size_t line) {
    const std::string path = names_.path + "[" + std::to_string(names_.count++) + "]";
    if (!value.IsString()) {
      Problem(line, path, "expected a property's name, got " + value.TypeName());
      return;
    }
    const auto index = SettingIndex(value.scalar->text);
    if (!index) {
      Problem(line, path, "unknown property \"" + std::string(value.scalar->text) + "\"");
      return;
    }
    if (names_.set.test(*index)) {
      Problem(line, path, std::string(value.scalar->text) + " is in the list twice");
      return;
    }
    names_.set.set(*index);
  }

  void EndNames() {
    if (names_.set.none()) {
      Problem(names_.line, names_.path, "expected at least one property");
      return;
    }
    // Every value is no scope at all.
    *names_.into = names_.set.all() ? std::nullopt : std::optional(names_.set);
  }

  std::optional<Frame> TakeOverride(const Value& value, std::size_t line) {
    const std::string path = members_.path + "." + key_;
    if (!SettingIndex(key_)) {
      Problem(line, path, "unknown property");
      return std::nullopt;
    }
    if (Repeated(members_.seen[key_], line, path)) return std::nullopt;
    if (!value.IsObject()) {
      Problem(line, path, "expected an object, got " + value.TypeName());
      return std::nullopt;
    }
    override_ = OverrideState{key_, path, line, {}, {}};
    return Frame::Override;
  }

  void TakeOverrideMember(const Value& value, std::size_t line) {
    const std::string path = override_.path + "." + key_;
    std::size_t member = 0;
    while (member < kOverrideMembers.size() && key_ != kOverrideMembers[member]) ++member;
    if (member == kOverrideMembers.size()) {
      Problem(line, path, "unknown member");
      return;
    }
    if (Repeated(override_.seen[member], line, path)) return;
    const auto text = Text(value, line, path, member == 0 ? kMaxReasonLength : 256);
    if (!text) return;
    if (member == 0) override_.record.reason = *text;
    if (member == 1) override_.record.madeBy = *text;
    if (member == 2) {
      override_.record.madeAt = *text;
      if (!IsUtcTime(*text)) Problem(line, path, "expected a UTC time, 2026-12-06T00:15:02Z");
    }
  }

  void EndOverride() {
    for (std::size_t member = 0; member < kOverrideMembers.size(); ++member) {
      if (override_.seen[member] == 0) {
        Problem(override_.line, override_.path + "." + kOverrideMembers[member], "missing");
      }
    }
    setup_.standards.overrides[override_.property] = override_.record;
  }

  std::optional<Frame> TakeOverlay(const Value& value, std::size_t line) {
    const std::string path = SetupPath() + ".overlays[" + std::to_string(overlayIndex_++) + "]";
    return BeginSource(value, line, path, true);
  }

  // A setup's source, or one of its overlays: the same members, read by the same frame.
  std::optional<Frame> BeginSource(const Value& value, std::size_t line, const std::string& path,
                                   bool overlay) {
    if (!value.IsObject()) {
      Problem(line, path, "expected an object, got " + value.TypeName());
      return std::nullopt;
    }
    source_ = SourceState{};
    source_.line = line;
    source_.path = path;
    source_.problemsBefore = problemCount_;
    source_.overlay = overlay;
    return Frame::Source;
  }

  void EndSetup() {
    const std::string at = SetupPath();
    if (setup_.name == 0) Problem(setup_.line, at + ".name", "missing");
    if (setup_.settings == 0) Problem(setup_.line, at + ".settings", "missing");
    const std::u16string& name = setup_.record.first;
    if (!name.empty()) CheckNameIsNew(name, at + ".name");
    setup_.standards.scope = setup_.scopeSet;
    for (const auto& [property, reason] : setup_.standards.locks) {
      if (!setup_.standards.Governs(*SettingIndex(property))) {
        Problem(setup_.locks, at + ".locks." + property, "not in the setup's scope");
      }
    }
    if (problemCount_ != 0) return;
    read_.records.push_back(std::move(setup_.record));
    read_.sources.push_back(std::move(setup_.origin));
    read_.standards.push_back(std::move(setup_.standards));
    read_.overlays.push_back(std::move(setup_.overlays));
    read_.lines.push_back(setup_.line);
  }

  // Once in the document, and not taken.
  void CheckNameIsNew(const std::u16string& name, const std::string& path) {
    const std::size_t line = setup_.nameLine;
    const auto quoted = [&] { return "\"" + ornr::Utf16ToUtf8(name) + "\""; };
    if (const auto [earlier, first] = firstLines_.emplace(name, line); !first) {
      Problem(line, "name",
              quoted() + " is in the file twice (first at line " + std::to_string(earlier->second) +
                  ")");
      return;
    }
    if (taken_ != nullptr && taken_->contains(name)) {
      Problem(line, path,
              "the design file already holds " + quoted() + " (import --replace replaces it)");
    }
  }

  // All the properties of an object, each once, known and of its type, into settings.
  std::optional<Frame> BeginSettings(const Value& value, std::size_t line, std::string path,
                                     OrnSettings& settings, PropertySet* partial = nullptr) {
    if (!value.IsObject()) {
      Problem(line, path, "expected an object, got " + value.TypeName());
      return std::nullopt;
    }
    settings_ = SettingsState{&settings, std::move(path), line, -1, partial};
    std::fill(settingsSeen_.begin(), settingsSeen_.end(), 0);
    return Frame::Settings;
  }

  void TakeSetting(const Value& value, std::size_t line) {
    const int index = FieldIndex(key_, settings_.previous);
    if (index < 0) {
      Problem(line, settings_.path + "." + key_, "unknown property");
      return;
    }
    settings_.previous = index;
    const Field& field = Fields()[std::size_t(index)];
    if (settingsSeen_[std::size_t(index)] != 0) {
      Repeated(settingsSeen_[std::size_t(index)], line, settings_.path + "." + key_);
      return;
    }
    settingsSeen_[std::size_t(index)] = line;
    if (value.scalar == nullptr) {
      Problem(line, settings_.path + "." + key_,
              Expected(field.kind) + ", got " + value.TypeName());
      return;
    }
    std::string why;
    if (const auto checked = CheckValue(*value.scalar, field.kind, why)) {
      field.set(*settings_.target, *checked);
    } else {
      Problem(line, settings_.path + "." + key_, why);
    }
  }

  void EndSettings() {
    const std::vector<Field>& fields = Fields();
    // An overlay's base holds the values it governs: those it names.
    if (settings_.partial != nullptr) {
      for (std::size_t i = 0; i < fields.size(); ++i)
        settings_.partial->set(i, settingsSeen_[i] != 0);
      if (settings_.partial->none()) {
        Problem(settings_.line, settings_.path, "expected at least one property");
      }
      return;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (settingsSeen_[i] == 0) {
        Problem(settings_.line, settings_.path + "." + fields[i].key, "missing");
      }
    }
  }

  // Where a setup was taken from: every member there, the base as settings are.
  std::optional<Frame> TakeSourceMember(const Value& value, std::size_t line) {
    const std::string where = source_.path + "." + key_;
    if (key_ == "governed" && !source_.overlay) {
      if (Repeated(source_.governedSeen, line, where)) return std::nullopt;
      return BeginNames(value, line, where, &source_.origin.governed);
    }
    std::size_t member = 0;
    while (member < kSourceMembers.size() && key_ != kSourceMembers[member]) ++member;
    if (member == kSourceMembers.size()) {
      Problem(line, where, "unknown member");
      return std::nullopt;
    }
    if (Repeated(source_.seen[member], line, where)) return std::nullopt;
    if (SourceMember(member) == SourceMember::Base) {
      if (source_.overlay) {
        source_.covered = PropertySet();
        return BeginSettings(value, line, where, source_.origin.base, &source_.covered);
      }
      return BeginSettings(value, line, where, source_.origin.base);
    }
    if (!value.IsString() || value.scalar->text.empty()) {
      Problem(line, where, "expected a text that is not empty, got " + value.TypeName());
      return std::nullopt;
    }
    const std::string_view text = value.scalar->text;
    switch (SourceMember(member)) {
      case SourceMember::LibraryFile:
        source_.origin.libraryFile = ornr::Utf8ToUtf16(text);
        break;
      case SourceMember::LibraryPath:
        source_.origin.libraryPath = text;
        if (!std::filesystem::path(source_.origin.libraryPath).is_absolute()) {
          Problem(line, where, "expected an absolute path");
        }
        break;
      case SourceMember::LibrarySetup:
        source_.origin.librarySetup = ornr::Utf8ToUtf16(text);
        if (const std::string why = NameProblem(source_.origin.librarySetup); !why.empty()) {
          Problem(line, where, why);
        }
        break;
      case SourceMember::TakenAt:
        source_.origin.takenAt = text;
        break;
      case SourceMember::Base:
      case SourceMember::Count:
        break;
    }
    return std::nullopt;
  }

  void EndSource() {
    for (std::size_t member = 0; member < kSourceMembers.size(); ++member) {
      if (source_.seen[member] == 0) {
        Problem(source_.line, source_.path + "." + kSourceMembers[member], "missing");
      }
    }
    if (problemCount_ != source_.problemsBefore) return;
    if (source_.overlay) {
      source_.origin.governed = source_.covered;
      setup_.overlays.push_back(std::move(source_.origin));
      return;
    }
    setup_.origin = std::make_unique<Provenance>(std::move(source_.origin));
  }

  struct SetupState {
    std::size_t line = 0;
    std::size_t nameLine = 0;
    SeenAt name = 0, settings = 0, source = 0;
    SeenAt description = 0, notes = 0, scope = 0, locks = 0, overrides = 0, overlaysSeen = 0;
    std::pair<std::u16string, OrnSettings> record;
    std::unique_ptr<Provenance> origin;
    SetupStandards standards;
    std::optional<PropertySet> scopeSet;
    std::vector<Provenance> overlays;
  };
  struct SettingsState {
    OrnSettings* target = nullptr;
    std::string path;
    std::size_t line = 0;
    int previous = -1;  // the field of the last key
    /// For a base of only some values: which it holds.
    PropertySet* partial = nullptr;
  };
  struct SourceState {
    std::size_t line = 0;
    std::string path;
    std::size_t problemsBefore = 0;
    std::array<SeenAt, kSourceMembers.size()> seen{};
    SeenAt governedSeen = 0;
    Provenance origin;
    /// An item of overlays: its base holds only the values it governs.
    bool overlay = false;
    PropertySet covered;
  };
  // An object of properties (notes, locks, overrides): each once.
  struct MembersState {
    std::string path;
    std::map<std::string, SeenAt> seen;
  };
  struct NamesState {
    std::string path;
    std::size_t line = 0;
    std::size_t count = 0;
    PropertySet set;
    std::optional<PropertySet>* into = nullptr;
  };
  struct OverrideState {
    std::string property;
    std::string path;
    std::size_t line = 0;
    std::array<SeenAt, 3> seen{};
    OverrideRecord record;
  };

  const std::string file_;
  SetupsRead& read_;
  const std::unordered_set<std::u16string>* taken_;
  std::size_t problemCount_ = 0;
  std::unordered_map<std::u16string, std::size_t> firstLines_;
  std::vector<Frame> frames_;
  // Containers open inside a value that is not read (it was reported already).
  std::size_t skipDepth_ = 0;
  std::string key_;
  std::size_t rootLine_ = 0;
  std::string rootProblem_;
  SeenAt format_ = 0, version_ = 0, setups_ = 0;
  std::size_t nextSetupIndex_ = 0;
  std::size_t setupIndex_ = 0;
  SetupState setup_;
  SettingsState settings_;
  std::vector<SeenAt> settingsSeen_;
  SourceState source_;
  MembersState members_;
  NamesState names_;
  OverrideState override_;
  std::size_t overlayIndex_ = 0;
};

}  // namespace

SetupsRead ReadSetupsDocument(const std::filesystem::path& path,
                              const std::unordered_set<std::u16string>* taken) {
  const std::string file = path.string();
  SetupsRead read;
  DocumentChecker checker(file, read, taken);
  const auto alone = [&](std::size_t line, std::string message) {
    SetupsRead only;
    only.problems = {{file, line, "", std::move(message)}};
    return only;
  };
  try {
    ReadJsonFile(path, checker);
  } catch (const JsonFileError&) {
    return alone(0, "cannot read the file");
  } catch (const JsonTextError& error) {
    return alone(error.Line(), error.GetKind() == JsonTextError::Kind::Syntax
                                   ? std::string("not JSON: ") + error.what()
                                   : std::string(error.what()));
  }
  checker.Finish();
  return read;
}

}  // namespace ornhost::detail
