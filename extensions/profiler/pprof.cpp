// The pprof writer: the profile as a perftools.profiles.Profile message,
// gzip-compressed, as `go tool pprof` and continuous-profiling servers read
// it. Strings go through the message's string table; a function stands for
// one name in one file, a location for one line of one function.
#include <zlib.h>

#include <map>
#include <unordered_map>
#include <vector>

#include "profile.pb.h"
#include "reports.h"

namespace profiler {

namespace {

namespace pb = perftools::profiles;

class PprofBuilder {
public:
    explicit PprofBuilder(pb::Profile &out) : out_(out) { string(""); }

    int64_t string(const std::string &text) {
        auto [at, added] = strings_.try_emplace(text, static_cast<int64_t>(strings_.size()));
        if (added) out_.add_string_table(text);
        return at->second;
    }

    void sampleType(const char *type, const char *unit, pb::ValueType *into = nullptr) {
        pb::ValueType *value = into != nullptr ? into : out_.add_sample_type();
        value->set_type(string(type));
        value->set_unit(string(unit));
    }

    uint64_t location(const std::string &function, const std::string &file, int64_t line) {
        uint64_t functionId = functionFor(function, file);
        auto [at, added] = locations_.try_emplace({functionId, line}, locations_.size() + 1);
        if (added) {
            pb::Location *location = out_.add_location();
            location->set_id(at->second);
            location->set_mapping_id(1);
            pb::Line *where = location->add_line();
            where->set_function_id(functionId);
            where->set_line(line);
        }
        return at->second;
    }

private:
    uint64_t functionFor(const std::string &name, const std::string &file) {
        auto [at, added] = functions_.try_emplace({name, file}, functions_.size() + 1);
        if (added) {
            pb::Function *function = out_.add_function();
            function->set_id(at->second);
            function->set_name(string(name));
            function->set_system_name(function->name());
            function->set_filename(string(file));
        }
        return at->second;
    }

    pb::Profile &out_;
    std::unordered_map<std::string, int64_t> strings_;
    std::map<std::pair<std::string, std::string>, uint64_t> functions_;
    std::map<std::pair<uint64_t, int64_t>, uint64_t> locations_;
};

std::string gzip(const std::string &bytes) {
    z_stream stream{};
    // 15 window bits, +16 for the gzip wrapper rather than zlib's.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&stream, bytes.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return status == Z_STREAM_END ? out : std::string();
}

}  // namespace

std::string PprofProfile(const Profile &profile, const Names &names, const ReportInfo &info) {
    pb::Profile out;
    PprofBuilder build(out);
    const char *kind = info.mode == "CPU" ? "cpu" : "wall";
    build.sampleType("samples", "count");
    build.sampleType(kind, "nanoseconds");
    if (info.callsKnown) build.sampleType("calls", "count");
    build.sampleType(kind, "nanoseconds", out.mutable_period_type());
    out.set_period(int64_t{info.periodMs} * 1000000);
    out.set_duration_nanos(static_cast<int64_t>(profile.wallNanos()));
    out.set_default_sample_type(1);
    pb::Mapping *mapping = out.add_mapping();  // the VM: every function already named
    mapping->set_id(1);
    mapping->set_filename(build.string("java"));
    mapping->set_has_functions(true);
    mapping->set_has_filenames(true);
    mapping->set_has_line_numbers(profile.keepsLines());

    std::unordered_map<int32_t, std::string> files;
    auto fileOf = [&](int32_t id) -> const std::string & {
        auto [at, added] = files.try_emplace(id);
        if (added) {
            if (names.source) at->second = names.source(id);
            if (at->second.empty() && names.file) at->second = names.file(id);
        }
        return at->second;
    };
    auto locationOf = [&](const Frame &frame) {
        switch (frame.kind) {
            case Frame::kState: return build.location(StateName(frame.id), "", 0);
            case Frame::kThread: return build.location("[thread " + names.thread(frame.id) + "]", "", 0);
            case Frame::kLabel: return build.location(names.label ? names.label(frame.id) : "?", "", 0);
            case Frame::kMethod: break;
        }
        return build.location(names.method(frame.id), fileOf(frame.id), frame.line);
    };

    // Depth first without recursion (stacks run thousands of frames deep);
    // `path` holds the locations from the outermost call.
    struct Step {
        const Node *node;
        size_t depth;
        uint64_t location;
    };
    std::vector<Step> work;
    for (const auto &[frame, child] : profile.root().children) work.push_back({child.get(), 0, locationOf(frame)});
    std::vector<uint64_t> path;
    while (!work.empty()) {
        Step step = work.back();
        work.pop_back();
        path.resize(step.depth);
        path.push_back(step.location);
        uint64_t childSamples = 0;
        for (const auto &[frame, child] : step.node->children) {
            childSamples += child->samples;
            work.push_back({child.get(), step.depth + 1, locationOf(frame)});
        }
        if (step.node->self == 0 && step.node->samples <= childSamples) continue;
        pb::Sample *sample = out.add_sample();
        for (auto it = path.rbegin(); it != path.rend(); ++it) sample->add_location_id(*it);
        sample->add_value(static_cast<int64_t>(step.node->samples - childSamples));
        sample->add_value(static_cast<int64_t>(step.node->self));
        if (info.callsKnown) sample->add_value(0);
    }
    if (info.callsKnown) {
        for (const auto &[method, calls] : info.calls) {
            pb::Sample *sample = out.add_sample();
            sample->add_location_id(build.location(method, "", 0));
            sample->add_value(0);
            sample->add_value(0);
            sample->add_value(static_cast<int64_t>(calls));
        }
    }
    return gzip(out.SerializeAsString());
}

}  // namespace profiler
