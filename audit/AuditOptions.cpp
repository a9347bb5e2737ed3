#include "audit/AuditOptions.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>

#include "host/store/ChangeSetTable.h"

namespace ornr::audit {

namespace {

enum LongOnly : int {
  kLibrary = 256,
  kJson,
  kCsv,
  kHtml,
  kFix,
  kTake,
  kApply,
  kIncludeOverrides,
  kStrict,
  kJobs,
  kChanges,
  kUndo,
  kForget,
  kDeploy,
  kFrom,
  kLinked,
  kTo,
  kEverySetup,
  kCreate,
  kVersion
};

const option kLongOptions[] = {
    {"library", required_argument, nullptr, kLibrary},
    {"json", required_argument, nullptr, kJson},
    {"csv", required_argument, nullptr, kCsv},
    {"html", required_argument, nullptr, kHtml},
    {"fix", required_argument, nullptr, kFix},
    {"take", required_argument, nullptr, kTake},
    {"apply", no_argument, nullptr, kApply},
    {"include-overrides", no_argument, nullptr, kIncludeOverrides},
    {"strict", no_argument, nullptr, kStrict},
    {"jobs", required_argument, nullptr, kJobs},
    {"changes", no_argument, nullptr, kChanges},
    {"undo", required_argument, nullptr, kUndo},
    {"forget", required_argument, nullptr, kForget},
    {"deploy", required_argument, nullptr, kDeploy},
    {"from", required_argument, nullptr, kFrom},
    {"linked", no_argument, nullptr, kLinked},
    {"to", required_argument, nullptr, kTo},
    {"every-setup", no_argument, nullptr, kEverySetup},
    {"create", no_argument, nullptr, kCreate},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

void OnceId(std::string& slot, const char* option, const char* value) {
  if (!slot.empty()) throw UsageError(std::string(option) + " may be given once");
  if (!ornhost::detail::LooksLikeChangeSetId(value)) {
    throw UsageError(std::string(option) + " takes a change set's id, not \"" + value + "\"");
  }
  slot = value;
}

void Once(std::optional<std::filesystem::path>& slot, const char* option, const char* value) {
  if (slot) throw UsageError(std::string(option) + " may be given once");
  if (*value == '\0') throw UsageError(std::string(option) + " needs a file name");
  slot = value;
}

// "merge", "locks" or both, comma-separated in any order: the locks are always put back last.
void ParseFixes(std::string_view words, AuditOptions& options) {
  const std::string given(words);
  bool merge = false;
  bool locks = false;
  for (;;) {
    const std::size_t comma = words.find(',');
    const std::string_view word = words.substr(0, comma);
    bool& slot = word == "merge" ? merge : locks;
    if ((word != "merge" && word != "locks") || slot) {
      throw UsageError("--fix takes merge, locks or merge,locks, not \"" + given + "\"");
    }
    slot = true;
    if (comma == std::string_view::npos) break;
    words.remove_prefix(comma + 1);
  }
  options.fix = options.fix || merge;
  options.fixLocks = options.fixLocks || locks;
}

}  // namespace

AuditOptions ParseAuditOptions(int argc, const char* const* argv) {
  AuditOptions options;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) args.push_back(const_cast<char*>(argv[i]));
  args.push_back(nullptr);
  optind = 0;
  opterr = 0;
  bool takeGiven = false;
  for (int code; (code = getopt_long(argc, args.data(), ":hj:", kLongOptions, nullptr)) != -1;) {
    const std::string given = optopt > 0 && optopt < kLibrary ? std::string{'-', char(optopt)}
                                                              : std::string(args[optind - 1]);
    switch (code) {
      case kLibrary:
        options.libraries.emplace_back(optarg);
        break;
      case kJson:
        Once(options.json, "--json", optarg);
        break;
      case kCsv:
        Once(options.csv, "--csv", optarg);
        break;
      case kHtml:
        Once(options.html, "--html", optarg);
        break;
      case kFix:
        ParseFixes(optarg, options);
        break;
      case kTake:
        if (std::string_view(optarg) == "library") {
          options.take = ornhost::MergeTake::Library;
        } else if (std::string_view(optarg) == "local") {
          options.take = ornhost::MergeTake::Local;
        } else if (std::string_view(optarg) == "change-set") {
          options.takeChangeSet = true;
        } else {
          throw UsageError("--take takes library or local (change-set with --undo), not \"" +
                           std::string(optarg) + "\"");
        }
        takeGiven = true;
        break;
      case kApply:
        options.apply = true;
        break;
      case kIncludeOverrides:
        options.includeOverrides = true;
        break;
      case kStrict:
        options.strict = true;
        break;
      case 'j':
      case kJobs: {
        const std::string_view text = optarg;
        unsigned jobs = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
        if (error != std::errc() || end != text.data() + text.size() || jobs == 0 || jobs > 256) {
          throw UsageError("--jobs takes a number from 1 to 256, not \"" + std::string(text) +
                           "\"");
        }
        options.jobs = jobs;
        break;
      }
      case kChanges:
        options.changes = true;
        break;
      case kUndo:
        OnceId(options.undo, "--undo", optarg);
        break;
      case kForget:
        OnceId(options.forget, "--forget", optarg);
        break;
      case kDeploy:
        if (!options.deploy.empty()) throw UsageError("--deploy may be given once");
        if (*optarg == '\0') throw UsageError("--deploy needs a library setup's name");
        options.deploy = optarg;
        break;
      case kFrom:
        Once(options.deployFrom, "--from", optarg);
        break;
      case kLinked:
        options.linked = true;
        break;
      case kTo:
        if (*optarg == '\0') throw UsageError("--to needs a setup's name");
        options.to.emplace_back(optarg);
        break;
      case kEverySetup:
        options.everySetup = true;
        break;
      case kCreate:
        options.create = true;
        break;
      case 'h':
        options.help = true;
        break;
      case kVersion:
        options.version = true;
        break;
      case ':':
        throw UsageError("option " + given + " needs a value");
      default:
        throw UsageError("unknown option " + given);
    }
  }
  // getopt_long moved the PATHs behind the options, in their order.
  for (int i = optind; i < argc; ++i) options.paths.emplace_back(args[i]);
  if (options.help || options.version) return options;
  const bool deploy = !options.deploy.empty();
  const int modes = (options.fix || options.fixLocks ? 1 : 0) + (options.changes ? 1 : 0) +
                    (options.undo.empty() ? 0 : 1) + (options.forget.empty() ? 0 : 1) +
                    (deploy ? 1 : 0);
  if (modes > 1) {
    throw UsageError("--fix, --deploy, --changes, --undo and --forget go one at a time");
  }
  const int targets =
      (options.linked ? 1 : 0) + (options.to.empty() ? 0 : 1) + (options.everySetup ? 1 : 0);
  if (!deploy && (targets > 0 || options.create || options.deployFrom)) {
    throw UsageError("--from, --linked, --to, --every-setup and --create go with --deploy");
  }
  if (deploy) {
    if (targets != 1) {
      throw UsageError("--deploy takes one of --linked, --to NAME... and --every-setup");
    }
    if (options.libraries.empty()) throw UsageError("--deploy takes its setup from a --library");
    std::error_code ec;
    if (options.deployFrom &&
        std::none_of(options.libraries.begin(), options.libraries.end(), [&](const auto& library) {
          return std::filesystem::equivalent(library, *options.deployFrom, ec);
        })) {
      throw UsageError("--from names one of the --library files, not " +
                       options.deployFrom->string());
    }
  }
  // --changes ID PATH...: the ID is told from a PATH by naming no file or folder.
  if (options.changes && !options.paths.empty() &&
      ornhost::detail::LooksLikeChangeSetId(options.paths.front().string())) {
    std::error_code ec;
    if (!std::filesystem::exists(options.paths.front(), ec)) {
      options.changeSet = options.paths.front().string();
      options.paths.erase(options.paths.begin());
    }
  }
  if ((options.changes || !options.forget.empty()) && (options.json || options.csv)) {
    throw UsageError("--json and --csv go with an audit, --fix, --deploy or --undo");
  }
  if ((options.changes || !options.forget.empty()) && options.html) {
    throw UsageError("--html goes with an audit, --fix, --deploy or --undo");
  }
  if ((deploy || options.changes || !options.undo.empty() || !options.forget.empty()) &&
      options.strict) {
    throw UsageError("--strict goes with an audit or --fix");
  }
  if (options.takeChangeSet && options.undo.empty()) {
    throw UsageError("--take change-set goes with --undo");
  }
  if (takeGiven && !options.takeChangeSet && !options.fix && !deploy) {
    throw UsageError("--take goes with --fix merge");
  }
  if (options.apply && !options.fix && !options.fixLocks && options.undo.empty() &&
      options.forget.empty() && !deploy) {
    throw UsageError("--apply goes with --fix merge or --fix locks, --undo or --forget");
  }
  if (options.includeOverrides && !options.fixLocks) {
    throw UsageError("--include-overrides goes with --fix locks");
  }
  if (options.paths.empty()) throw UsageError("name at least one file or folder to audit");
  std::vector<std::filesystem::path> reports;
  for (const auto* report : {&options.json, &options.csv, &options.html}) {
    if (!*report) continue;
    for (const auto& other : reports) {
      if (other == **report) throw UsageError("two reports cannot both go to " + other.string());
    }
    reports.push_back(**report);
  }
  return options;
}

std::string AuditVersion() {
  return "rsm-audit " ORNR_VERSION "\n";
}

std::string AuditUsage() {
  return "usage: rsm-audit [--library FILE]... [--json FILE] [--csv FILE] [--html FILE]\n"
         "                 [--fix merge|locks|merge,locks [--take library|local]\n"
         "                  [--include-overrides] [--apply]] [--strict] [--jobs N] PATH...\n"
         "       rsm-audit --library FILE... --deploy LIBSETUP [--from LIBRARY]\n"
         "                 (--linked | --to NAME... | --every-setup) [--create]\n"
         "                 [--take library|local] [--apply] [--jobs N] PATH...\n"
         "       rsm-audit --changes [ID] PATH...\n"
         "       rsm-audit --undo ID [--take change-set] [--apply] [--jobs N] PATH...\n"
         "       rsm-audit --forget ID [--apply] PATH...\n"
         "\n"
         "Reads every design file under each PATH (folders recursively; design libraries,\n"
         "*.zellib and the files given with --library, are left out) without writing to it, and\n"
         "holds each render setup against the library setup it was taken from, or, for a setup\n"
         "not taken from a library, against the library setup of its name. Prints a table of\n"
         "the files with each setup that drifted, then the totals.\n"
         "\n"
         "  --library FILE  a design library whose setups are offered by name (repeatable; of\n"
         "                  several offering a name, the one whose file name sorts first)\n"
         "  --json FILE     also write the report as JSON (docs/audit-report.schema.json)\n"
         "  --csv FILE      also write one row per setup and property that differs\n"
         "  --html FILE     also write the report as one self-contained web page\n"
         "  --fix merge     merge every setup taken from a library with its library setup, as\n"
         "                  merge-from-library and save do; without --apply only say what would\n"
         "                  change\n"
         "  --fix locks     put back the locked values changed here to the library's; overridden\n"
         "                  ones are kept; merge,locks does both, the locks last\n"
         "  --take library|local  decide the conflicts of the merge (without: left as they are)\n"
         "  --include-overrides  --fix locks puts back overridden values too, dropping their\n"
         "                  overrides\n"
         "  --apply         write the merges (the deploy, the undo): each design file in one\n"
         "                  transaction, a version of each setup changed (history and restore\n"
         "                  undo it), the run kept as one change set in each file it wrote; a\n"
         "                  file that another session changed since it was read is skipped\n"
         "  --strict        count overridden locked values as violations too\n"
         "  --deploy LIBSETUP  take the library setup's governed values into the drawings under\n"
         "                  the PATHs (--from: of that --library file, else the first offering\n"
         "                  it): into the setups with a record of it (--linked), the setups of\n"
         "                  that NAME (--to, repeatable; another name takes it as an overlay) or\n"
         "                  every setup as an overlay (--every-setup); --create adds it, a full\n"
         "                  copy, where a drawing has no setup of its name. A setup with a\n"
         "                  record of it keeps what changed only here, conflicts decided by\n"
         "                  --take or left; one without takes every governed value; locked\n"
         "                  values always take the library's unless overridden\n"
         "  --changes [ID]  list the change sets found under the PATHs, newest first (every\n"
         "                  --apply run is one, kept in each file it wrote); with ID, show that\n"
         "                  one value by value (an ID is a word that names no file or folder)\n"
         "  --undo ID       revert change set ID where the values still hold what it wrote;\n"
         "                  a value changed since is a conflict, kept unless --take change-set;\n"
         "                  without --apply only say what would change; the undo is a change\n"
         "                  set itself\n"
         "  --forget ID     remove change set ID from the files' record (with --apply)\n"
         "  -j, --jobs N    read N files at once (default: one per core); --deploy and --undo\n"
         "                  write N at once too\n"
         "\n"
         "  -h, --help, --version\n"
         "\n"
         "Exit status: 0 when every setup is in step, 1 when something drifted or a locked value\n"
         "was changed (or, with --strict, overridden), 2 for a wrong command line, 3 when a file\n"
         "could not be read (whatever else was found), 130 when stopped by Ctrl-C (the reports\n"
         "are then written, marked partial). --deploy, --changes, --undo and --forget exit 0\n"
         "when done or with nothing to do, 1 when conflicts are left, files were skipped or\n"
         "no file holds the change set, 2, 3 and 130 as above; --deploy and --undo also write\n"
         "--json FILE (docs/change-set-report.schema.json), --csv FILE and --html FILE.\n";
}

}  // namespace ornr::audit
