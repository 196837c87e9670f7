/* Entities, the entity list, the kernel's registry of live entities and the modeller lifecycle. */
#include "kernel_internal.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include <BRep_Tool.hxx>
#include <TopoDS.hxx>

namespace kernel_detail {

KernelState &state() {
    static KernelState s;
    return s;
}

outcome fail(int code, const std::string &message) { return outcome(code, message); }

namespace {
// Set by a failed allocation; cleared by the outermost api_start_modeller only, so that it
// outlives the converter's nested span and a stop, and each request starts afresh.
bool g_out_of_memory = false;
} // namespace

void note_out_of_memory() { g_out_of_memory = true; }

bool registered(const ENTITY *e) { return e && state().live.count(e) != 0; }

BODY *live_body(ENTITY *e) {
    if (!registered(e))
        return nullptr;
    return dynamic_cast<BODY *>(e);
}

BODY *current_owner(const ENTITY *e) {
    if (!registered(e))
        return nullptr;
    BODY *owner = e->data()->owner;
    if (!registered(owner) || owner->data()->version != e->data()->version)
        return nullptr;
    return owner;
}

BODY *new_body(const TopoDS_Shape &shape) {
    BODY *b = new BODY();
    b->data()->shape = shape;
    return b;
}

void set_body_shape(BODY *body, const TopoDS_Shape &shape) {
    EntityData *d = body->data();
    d->shape = shape;
    d->version++;
    d->blends.clear();
}

const TopoDS_Shape &shape_of(const ENTITY *e) { return e->data()->shape; }

void destroy_entity(ENTITY *e) {
    auto &all = state().entities;
    all.erase(std::remove(all.begin(), all.end(), e), all.end());
    state().live.erase(e);
    delete e;
}

} // namespace kernel_detail

using namespace kernel_detail;

namespace {
long g_live_objects = 0; // kernel-allocated objects; plain counter, the kernel is single-threaded

enum Component { CONSTRUCTORS, BOOLEANS, BLENDING, COVERING, FACETER };

outcome count_component(Component c, int delta, const char *what) {
    return guarded(what, [&] {
        int &n = state().components[c];
        if (delta < 0 && n == 0)
            return fail(KERN_BAD_ARGUMENT, std::string(what) + ": not initialised");
        n += delta;
        if (c == FACETER && n == 0)
            state().manager = nullptr;
        return outcome();
    });
}

void delete_all_entities() {
    auto &all = state().entities;
    while (!all.empty())
        destroy_entity(all.back());
}
} // namespace

void *ACIS_OBJECT::operator new(std::size_t size) {
    void *p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    ++g_live_objects;
    return p;
}

void ACIS_OBJECT::operator delete(void *p) {
    if (!p)
        return;
    --g_live_objects;
    std::free(p);
}

long ACIS_OBJECT::live_objects() { return g_live_objects; }

ENTITY::ENTITY() : data_(new EntityData) {
    state().entities.push_back(this);
    state().live.insert(this);
}

ENTITY::~ENTITY() { delete data_; }

position VERTEX::geometry() const {
    const TopoDS_Shape &s = data()->shape;
    if (s.IsNull() || s.ShapeType() != TopAbs_VERTEX)
        return position();
    return to_position(BRep_Tool::Pnt(TopoDS::Vertex(s)));
}

// A stale pointer must not be dereferenced, and a cast reads the object's type: the liveness
// check comes first, so a deleted entity is simply of no kind.
logical is_BODY(const ENTITY *e) {
    return registered(e) && dynamic_cast<const BODY *>(e) != nullptr;
}
logical is_EDGE(const ENTITY *e) {
    return registered(e) && dynamic_cast<const EDGE *>(e) != nullptr;
}
logical is_VERTEX(const ENTITY *e) {
    return registered(e) && dynamic_cast<const VERTEX *>(e) != nullptr;
}
logical is_FACE(const ENTITY *e) {
    return registered(e) && dynamic_cast<const FACE *>(e) != nullptr;
}
logical is_REFINEMENT(const ENTITY *e) {
    return registered(e) && dynamic_cast<const REFINEMENT *>(e) != nullptr;
}

int ENTITY_LIST::add(ENTITY *e) {
    if (!e)
        return -1;
    int at = lookup(e);
    if (at >= 0)
        return at;
    items_.push_back(e);
    return count() - 1;
}

void ENTITY_LIST::add(const ENTITY_LIST &other) {
    for (ENTITY *e : other.items_)
        add(e);
}

int ENTITY_LIST::lookup(const ENTITY *e) const {
    auto it = std::find(items_.begin(), items_.end(), e);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void ENTITY_LIST::remove(const ENTITY *e) {
    int at = lookup(e);
    if (at < 0)
        return;
    items_.erase(items_.begin() + at);
    if (cursor_ > static_cast<std::size_t>(at))
        --cursor_;
}

ENTITY *ENTITY_LIST::operator[](int i) const {
    if (i < 0 || i >= count())
        return nullptr;
    return items_[i];
}

ENTITY *ENTITY_LIST::next() const {
    if (cursor_ >= items_.size())
        return nullptr;
    return items_[cursor_++];
}

void ENTITY_LIST::clear() {
    items_.clear();
    cursor_ = 0;
}

outcome api_start_modeller(int) {
    if (state().starts++ == 0)
        kernel_detail::g_out_of_memory = false;
    return outcome();
}

outcome api_stop_modeller() {
    KernelState &s = state();
    if (s.starts <= 0)
        return fail(KERN_NOT_STARTED, "api_stop_modeller: modeller not started");
    if (--s.starts > 0)
        return outcome();
    delete_all_entities();
    s = KernelState();
    return outcome();
}

outcome api_initialize_constructors() {
    return count_component(CONSTRUCTORS, 1, "api_initialize_constructors");
}
outcome api_terminate_constructors() {
    return count_component(CONSTRUCTORS, -1, "api_terminate_constructors");
}
outcome api_initialize_booleans() {
    return count_component(BOOLEANS, 1, "api_initialize_booleans");
}
outcome api_terminate_booleans() { return count_component(BOOLEANS, -1, "api_terminate_booleans"); }
outcome api_initialize_blending() {
    return count_component(BLENDING, 1, "api_initialize_blending");
}
outcome api_terminate_blending() { return count_component(BLENDING, -1, "api_terminate_blending"); }
outcome api_initialize_covering() {
    return count_component(COVERING, 1, "api_initialize_covering");
}
outcome api_terminate_covering() { return count_component(COVERING, -1, "api_terminate_covering"); }
outcome api_initialize_faceter() { return count_component(FACETER, 1, "api_initialize_faceter"); }
outcome api_terminate_faceter() { return count_component(FACETER, -1, "api_terminate_faceter"); }

outcome api_del_entity(ENTITY *e) {
    return guarded("api_del_entity", [&] {
        if (!registered(e))
            return fail(KERN_NULL_ENTITY, "api_del_entity: no such entity");
        if (is_BODY(e)) {
            // Sub-entities of the body go with it, as the body owns its topology.
            std::vector<ENTITY *> parts;
            for (ENTITY *other : state().entities)
                if (other->data()->owner == e)
                    parts.push_back(other);
            for (ENTITY *p : parts)
                destroy_entity(p);
        }
        destroy_entity(e);
        return outcome();
    });
}

logical kernel_ran_out_of_memory() { return kernel_detail::g_out_of_memory; }
