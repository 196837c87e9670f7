/* Measures of a body, its triangle count, and its STEP and STL files. */
#include "kernel_export.h"

#include "kernel_internal.h"
#include "kernel_leak.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <Interface_Static.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <STEPControl_Controller.hxx>
#include <STEPControl_Writer.hxx>
#include <TopExp_Explorer.hxx>

using namespace kernel_detail;

namespace {

// While alive, OCCT's default messenger has no printers: the STEP writer reports its statistics
// through it, and a worker's standard output is its protocol.
class SilentMessenger {
  public:
    SilentMessenger() : messenger_(Message::DefaultMessenger()) {
        saved_ = messenger_->Printers();
        messenger_->ChangePrinters().Clear();
    }
    ~SilentMessenger() { messenger_->ChangePrinters() = saved_; }
    SilentMessenger(const SilentMessenger &) = delete;
    SilentMessenger &operator=(const SilentMessenger &) = delete;

  private:
    Handle(Message_Messenger) messenger_;
    Message_SequenceOfPrinters saved_;
};

// Keeps the nodes and triangles the faceter reports, or only counts the triangles. A mesh over
// KERNEL_EXPORT_MAX_TRIANGLES is not kept.
class MeshCollector : public GLOBAL_MESH_MANAGER {
  public:
    explicit MeshCollector(bool keep) : keep_(keep) {}

    void announce_counts(int npolygons, int nnodes, int) override {
        count_ += npolygons;
        too_large_ = too_large_ || count_ > KERNEL_EXPORT_MAX_TRIANGLES;
        if (keep_ && !too_large_) {
            nodes_.reserve(static_cast<std::size_t>(nnodes));
            triangles_.reserve(static_cast<std::size_t>(npolygons));
        }
    }
    void announce_global_node(int, VERTEX *, const position &p) override { node(p); }
    void announce_global_node(int, EDGE *, const position &p, double) override { node(p); }
    void announce_global_node(int, FACE *, const position &p, const par_pos &) override { node(p); }
    void start_indexed_polygon(int, int) override {
        if (keep_ && !too_large_)
            triangles_.push_back({-1, -1, -1});
    }
    void announce_indexed_polynode(int, int i, int inode) override {
        if (keep_ && !too_large_ && !triangles_.empty() && i >= 0 && i < 3)
            triangles_.back()[static_cast<std::size_t>(i)] = inode;
    }

    long count() const { return count_; }
    bool too_large() const { return too_large_; }
    const std::vector<position> &nodes() const { return nodes_; }
    const std::vector<std::array<int, 3>> &triangles() const { return triangles_; }

  private:
    void node(const position &p) {
        if (keep_ && !too_large_)
            nodes_.push_back(p);
    }

    bool keep_;
    bool too_large_ = false;
    long count_ = 0;
    std::vector<position> nodes_;
    std::vector<std::array<int, 3>> triangles_;
};

// Facets body into collector through the public faceter, with the caller's manager put back
// afterwards whatever happens.
outcome facet_into(BODY *body, MeshCollector &collector) {
    MESH_MANAGER *installed = state().manager;
    state().manager = &collector;
    outcome result = api_facet_entity(body);
    state().manager = installed;
    return result;
}

bool has_solid(const TopoDS_Shape &shape) {
    return !shape.IsNull() && TopExp_Explorer(shape, TopAbs_SOLID).More();
}

void put_u32(std::string &out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<char>((v >> (8 * k)) & 0xff));
}

void put_float(std::string &out, double v) {
    float f = static_cast<float>(v);
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    put_u32(out, bits);
}

// The 80-byte STL header: text cut to fit, padded with blanks, never starting with "solid".
std::string stl_header(const char *text) {
    std::string h = text ? text : "";
    if (h.compare(0, 5, "solid") == 0)
        h.insert(0, "binary ");
    h.resize(80, ' ');
    return h;
}

void put_triangle(std::string &out, const position &a, const position &b, const position &c) {
    vector n = normalise((b - a) * (c - a));
    put_float(out, n.x());
    put_float(out, n.y());
    put_float(out, n.z());
    for (const position *p : {&a, &b, &c})
        for (int i = 0; i < 3; ++i)
            put_float(out, p->coordinate(i));
    out.push_back('\0'); // attribute byte count: none
    out.push_back('\0');
}

outcome stl_bytes(const MeshCollector &mesh, const char *header, std::string &bytes) {
    const std::vector<position> &nodes = mesh.nodes();
    bytes = stl_header(header);
    put_u32(bytes, static_cast<std::uint32_t>(mesh.triangles().size()));
    bytes.reserve(bytes.size() + 50 * mesh.triangles().size());
    for (const auto &t : mesh.triangles()) {
        for (int i : t)
            if (i < 0 || static_cast<std::size_t>(i) >= nodes.size())
                return fail(KERN_OPERATION_FAILED, "kernel_write_stl: a corner is no node");
        put_triangle(bytes, nodes[static_cast<std::size_t>(t[0])],
                     nodes[static_cast<std::size_t>(t[1])], nodes[static_cast<std::size_t>(t[2])]);
    }
    return outcome();
}

} // namespace

outcome kernel_measure_body(BODY *body, kernel_measures &measures) {
    measures = kernel_measures();
    return guarded("kernel_measure_body", [&] {
        if (!live_body(body))
            return fail(KERN_NULL_ENTITY, "kernel_measure_body: not a body");
        const TopoDS_Shape &shape = shape_of(body);
        if (!has_solid(shape))
            return fail(KERN_WRONG_TYPE, "kernel_measure_body: the body holds no solid");
        GProp_GProps volume, area;
        BRepGProp::VolumeProperties(shape, volume);
        BRepGProp::SurfaceProperties(shape, area);
        measures.volume = volume.Mass();
        measures.area = area.Mass();
        measures.bounds = get_body_box(body);
        return outcome();
    });
}

outcome kernel_count_triangles(BODY *body, long &triangles) {
    triangles = 0;
    return guarded("kernel_count_triangles", [&] {
        MeshCollector counter(false);
        outcome result = facet_into(body, counter);
        if (result.ok())
            triangles = counter.count();
        return result;
    });
}

outcome kernel_write_step(BODY *body, const char *product, const char *path) {
    return guarded("kernel_write_step", [&] {
        if (!live_body(body))
            return fail(KERN_NULL_ENTITY, "kernel_write_step: not a body");
        if (!path || !*path)
            return fail(KERN_BAD_ARGUMENT, "kernel_write_step: no path");
        if (!has_solid(shape_of(body)))
            return fail(KERN_WRONG_TYPE, "kernel_write_step: the body holds no solid");
        SilentMessenger silent;
        LeakCheckPause pause;
        // The settings exist once the controller is set up, and a new writer's model takes them.
        STEPControl_Controller::Init();
        Interface_Static::SetCVal("write.step.schema", "AP214IS");
        Interface_Static::SetCVal("write.step.unit", "MM");
        Interface_Static::SetCVal("write.step.product.name",
                                  product && *product ? product : "solid");
        STEPControl_Writer writer;
        if (writer.Transfer(shape_of(body), STEPControl_AsIs) != IFSelect_RetDone)
            return fail(KERN_OPERATION_FAILED, "kernel_write_step: the body cannot be written");
        if (writer.Write(path) != IFSelect_RetDone) {
            std::remove(path);
            return fail(KERN_FILE_ERROR, std::string("kernel_write_step: cannot write ") + path);
        }
        return outcome();
    });
}

outcome kernel_write_stl(BODY *body, const char *header, std::string &bytes, long &triangles) {
    bytes.clear();
    triangles = 0;
    outcome result = guarded("kernel_write_stl", [&] {
        MeshCollector mesh(true);
        outcome faceted = facet_into(body, mesh);
        if (!faceted.ok())
            return faceted;
        if (mesh.too_large())
            return fail(KERN_BAD_ARGUMENT, "kernel_write_stl: the mesh is too large");
        outcome written = stl_bytes(mesh, header, bytes);
        if (written.ok())
            triangles = static_cast<long>(mesh.triangles().size());
        return written;
    });
    if (!result.ok())
        bytes.clear();
    return result;
}
