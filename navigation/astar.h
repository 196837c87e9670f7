/* A* search engine over a user-supplied search state, with a fixed-size node pool.
 *
 * UserState must provide:
 *     bool IsSameState(const UserState &other) const;
 *     bool IsGoal(const UserState &goal) const;
 *     float GoalDistanceEstimate(const UserState &goal) const;
 *     float GetCost(const UserState &successor) const;    // never negative
 *     bool GetSuccessors(AStarSearch<UserState> *search, const UserState *parent) const;
 * GetSuccessors hands each successor to search->AddSuccessor and reports false to abandon the
 * search. UserState must be copyable.
 *
 * All nodes of one search come from one pool allocated when the engine is built; no memory is
 * allocated while searching. Successors that find the pool empty are dropped and the search
 * goes on without them.
 *
 * Error convention: the search reports through its state (SearchStep's result); calling
 * SearchStep before SetStartAndGoalStates is a programming error (FATAL_ASSERT). */
#ifndef ROVAK_ASTAR_H
#define ROVAK_ASTAR_H

#include "fatal.h"

#include <algorithm>
#include <new>
#include <stdlib.h>
#include <vector>

/* A pool of n elements of T in one zeroed block, with a free list and a used list. alloc hands
 * out raw storage for one T; the caller constructs and destroys the T in it. */
template <class T> class FixedSizeAllocator {
  public:
    /* One block of n elements, all on the free list in array order. An allocation failure
     * leaves an empty pool (alloc always returns null). */
    explicit FixedSizeAllocator(unsigned int n)
        : block(static_cast<Element *>(calloc(n, sizeof(Element)))), freeHead(nullptr),
          usedHead(nullptr), count(block != nullptr ? n : 0), inUse(0) {
        for (unsigned int i = 0; i < count; i++) {
            block[i].prev = i > 0 ? &block[i - 1] : nullptr;
            block[i].next = i + 1 < count ? &block[i + 1] : nullptr;
        }
        freeHead = count > 0 ? &block[0] : nullptr;
    }
    ~FixedSizeAllocator() { ::free(block); }
    FixedSizeAllocator(const FixedSizeAllocator &) = delete;
    FixedSizeAllocator &operator=(const FixedSizeAllocator &) = delete;

    /* Storage for one T moved from the head of the free list to the head of the used list;
     * null when the free list is empty. */
    T *alloc() {
        Element *e = freeHead;
        if (e == nullptr) {
            return nullptr;
        }
        freeHead = e->next;
        if (freeHead != nullptr) {
            freeHead->prev = nullptr;
        }
        link(e, usedHead);
        usedHead = e;
        inUse++;
        return reinterpret_cast<T *>(e->storage);
    }

    /* Gives back storage that alloc handed out: unlinked from the used list, put at the head of
     * the free list. Null is ignored. */
    void free(T *p) {
        if (p == nullptr) {
            return;
        }
        Element *e = reinterpret_cast<Element *>(p);
        FATAL_ASSERT(e >= block && e < block + count);
        if (e->prev != nullptr) {
            e->prev->next = e->next;
        } else {
            usedHead = e->next;
        }
        if (e->next != nullptr) {
            e->next->prev = e->prev;
        }
        link(e, freeHead);
        freeHead = e;
        inUse--;
    }

    /* The most recently allocated element still in use, or null. */
    T *firstUsed() const { return usedHead ? reinterpret_cast<T *>(usedHead->storage) : nullptr; }
    /* Elements in the pool, and elements handed out and not given back. */
    unsigned int capacity() const { return count; }
    unsigned int used() const { return inUse; }

  private:
    /* The T comes first, so a T pointer is also the element's address. */
    struct Element {
        alignas(T) unsigned char storage[sizeof(T)];
        Element *prev;
        Element *next;
    };

    /* Makes e the element before head (e becomes the new head of head's list). */
    static void link(Element *e, Element *head) {
        e->prev = nullptr;
        e->next = head;
        if (head != nullptr) {
            head->prev = e;
        }
    }

    Element *block;
    Element *freeHead;
    Element *usedHead;
    unsigned int count;
    unsigned int inUse;
};

template <class UserState> class AStarSearch {
  public:
    /* Search states, as returned by SearchStep. */
    enum {
        SEARCH_STATE_NOT_INITIALISED = 0, /* built; no start and goal yet */
        SEARCH_STATE_RUNNING = 1,         /* start and goal set, search in progress */
        SEARCH_STATE_FOUND = 2,           /* goal reached; the solution can be walked */
        SEARCH_STATE_NO_PATH = 3,         /* open list exhausted */
        SEARCH_STATE_NO_NODES = 4,        /* an expansion reported failure, or no pool room */
        SEARCH_STATE_INVALID = 5          /* first value outside the valid range */
    };

    /* One search node: its place in the search tree, costs and the user state. */
    class Node {
      public:
        Node *parent;
        Node *child; /* set along the solution only, once the goal is found */
        float g;     /* cost from the start */
        float h;     /* estimate to the goal */
        float f;     /* g + h */
        UserState m_UserState;
        Node() : parent(nullptr), child(nullptr), g(0.0f), h(0.0f), f(0.0f), m_UserState() {}
    };

    /* Heap order of the open list: the node with the smallest f at the front. */
    class HeapCompare_f {
      public:
        bool operator()(const Node *x, const Node *y) const { return x->f > y->f; }
    };

    /* An engine whose searches hold at most maxNodes nodes at once. */
    explicit AStarSearch(unsigned int maxNodes)
        : m_State(SEARCH_STATE_NOT_INITIALISED), m_Start(nullptr), m_Goal(nullptr),
          m_CurrentSolutionNode(nullptr), m_Pool(maxNodes) {}
    ~AStarSearch() { ReleaseAllNodes(); }
    AStarSearch(const AStarSearch &) = delete;
    AStarSearch &operator=(const AStarSearch &) = delete;

    /* Begins a search from start to goal (any earlier search is dropped). State RUNNING, or
     * NO_NODES when the pool cannot hold the two nodes. */
    void SetStartAndGoalStates(const UserState &start, const UserState &goal);

    /* One expansion; returns the new state. FOUND, NO_PATH and NO_NODES are final and are
     * returned unchanged by later calls. */
    int SearchStep();

    /* Called by UserState::GetSuccessors for each successor of the node being expanded. True
     * when the successor got a node; false when the pool is empty and it was dropped. */
    bool AddSuccessor(const UserState &state);

    /* Walk of the solution after FOUND: the start state, then each following state up to the
     * goal; null past the end (or when there is no solution). The states stay owned by the
     * engine until FreeSolutionNodes. */
    UserState *GetSolutionStart();
    UserState *GetSolutionNext();

    /* Gives the nodes of the solution back to the pool. */
    void FreeSolutionNodes();

    /* Nodes currently taken from the pool. */
    unsigned int NodesInUse() const { return m_Pool.used(); }

  private:
    typedef typename std::vector<Node *>::iterator NodeIter;

    Node *AllocateNode();
    void FreeNode(Node *node);
    void FreeAllNodes();
    void FreeUnusedNodes();
    void ReleaseAllNodes();
    int FinishFound(Node *n);
    int AbandonExpansion(Node *n);
    void ConsiderSuccessor(Node *n, Node *s);
    NodeIter FindSameState(std::vector<Node *> &list, const Node *s);

    int m_State;
    std::vector<Node *> m_OpenList;   /* heap by HeapCompare_f */
    std::vector<Node *> m_ClosedList; /* unordered */
    std::vector<Node *> m_Successors; /* filled by AddSuccessor during one expansion */
    Node *m_Start;
    Node *m_Goal;
    Node *m_CurrentSolutionNode;
    FixedSizeAllocator<Node> m_Pool;
};

template <class UserState>
void AStarSearch<UserState>::SetStartAndGoalStates(const UserState &start, const UserState &goal) {
    ReleaseAllNodes();
    m_Start = AllocateNode();
    m_Goal = AllocateNode();
    if (m_Start == nullptr || m_Goal == nullptr) {
        ReleaseAllNodes();
        m_State = SEARCH_STATE_NO_NODES;
        return;
    }
    m_Start->m_UserState = start;
    m_Goal->m_UserState = goal;
    m_State = SEARCH_STATE_RUNNING;
    m_Start->g = 0.0f;
    m_Start->h = m_Start->m_UserState.GoalDistanceEstimate(m_Goal->m_UserState);
    m_Start->f = m_Start->g + m_Start->h;
    m_Start->parent = nullptr;
    m_OpenList.push_back(m_Start);
    std::push_heap(m_OpenList.begin(), m_OpenList.end(), HeapCompare_f());
}

template <class UserState> int AStarSearch<UserState>::SearchStep() {
    FATAL_ASSERT((m_State > SEARCH_STATE_NOT_INITIALISED) && (m_State < SEARCH_STATE_INVALID));
    if (m_State != SEARCH_STATE_RUNNING) {
        return m_State;
    }
    if (m_OpenList.empty()) {
        FreeAllNodes();
        m_State = SEARCH_STATE_NO_PATH;
        return m_State;
    }
    Node *n = m_OpenList.front();
    std::pop_heap(m_OpenList.begin(), m_OpenList.end(), HeapCompare_f());
    m_OpenList.pop_back();

    if (n->m_UserState.IsGoal(m_Goal->m_UserState)) {
        return FinishFound(n);
    }
    m_Successors.clear();
    const UserState *parentState = n->parent != nullptr ? &n->parent->m_UserState : nullptr;
    if (!n->m_UserState.GetSuccessors(this, parentState)) {
        return AbandonExpansion(n);
    }
    for (Node *s : m_Successors) {
        ConsiderSuccessor(n, s);
    }
    m_Successors.clear();
    m_ClosedList.push_back(n);
    return m_State;
}

/* The goal node takes the place of n in the tree; the path is linked forward through child
 * pointers and every node off the path goes back to the pool. */
template <class UserState> int AStarSearch<UserState>::FinishFound(Node *n) {
    m_Goal->parent = n->parent;
    m_Goal->g = n->g;
    m_Goal->h = n->h;
    m_Goal->f = n->f;
    if (n != m_Start) {
        FreeNode(n);
        for (Node *c = m_Goal; c != m_Start; c = c->parent) {
            c->parent->child = c;
        }
    }
    FreeUnusedNodes();
    m_State = SEARCH_STATE_FOUND;
    return m_State;
}

template <class UserState> int AStarSearch<UserState>::AbandonExpansion(Node *n) {
    for (Node *s : m_Successors) {
        FreeNode(s);
    }
    m_Successors.clear();
    // n is on neither list any more; give it back with the rest.
    m_ClosedList.push_back(n);
    FreeAllNodes();
    m_State = SEARCH_STATE_NO_NODES;
    return m_State;
}

/* Puts successor s of n on the open list unless a node of the same state already costs no
 * more (ties keep the older node). */
template <class UserState> void AStarSearch<UserState>::ConsiderSuccessor(Node *n, Node *s) {
    float newg = n->g + n->m_UserState.GetCost(s->m_UserState);
    NodeIter openIt = FindSameState(m_OpenList, s);
    if (openIt != m_OpenList.end() && (*openIt)->g <= newg) {
        FreeNode(s);
        return;
    }
    NodeIter closedIt = FindSameState(m_ClosedList, s);
    if (closedIt != m_ClosedList.end() && (*closedIt)->g <= newg) {
        FreeNode(s);
        return;
    }
    // A cheaper way to a known state: the known node is re-linked under n rather than replaced,
    // so the nodes whose parent it is keep a valid parent and their paths stay whole.
    Node *node = s;
    if (closedIt != m_ClosedList.end()) {
        node = *closedIt;
        m_ClosedList.erase(closedIt);
    }
    if (openIt != m_OpenList.end()) {
        node = *openIt;
        m_OpenList.erase(openIt);
        std::make_heap(m_OpenList.begin(), m_OpenList.end(), HeapCompare_f());
    }
    if (node != s) {
        FreeNode(s);
    }
    node->parent = n;
    node->g = newg;
    node->h = node->m_UserState.GoalDistanceEstimate(m_Goal->m_UserState);
    node->f = node->g + node->h;
    m_OpenList.push_back(node);
    std::push_heap(m_OpenList.begin(), m_OpenList.end(), HeapCompare_f());
}

template <class UserState>
typename AStarSearch<UserState>::NodeIter
AStarSearch<UserState>::FindSameState(std::vector<Node *> &list, const Node *s) {
    NodeIter it = list.begin();
    while (it != list.end() && !(*it)->m_UserState.IsSameState(s->m_UserState)) {
        ++it;
    }
    return it;
}

template <class UserState> bool AStarSearch<UserState>::AddSuccessor(const UserState &state) {
    Node *node = AllocateNode();
    if (node == nullptr) {
        return false;
    }
    node->m_UserState = state;
    m_Successors.push_back(node);
    return true;
}

template <class UserState> UserState *AStarSearch<UserState>::GetSolutionStart() {
    m_CurrentSolutionNode = m_Start;
    return m_Start != nullptr ? &m_Start->m_UserState : nullptr;
}

template <class UserState> UserState *AStarSearch<UserState>::GetSolutionNext() {
    if (m_CurrentSolutionNode == nullptr || m_CurrentSolutionNode->child == nullptr) {
        return nullptr;
    }
    m_CurrentSolutionNode = m_CurrentSolutionNode->child;
    return &m_CurrentSolutionNode->m_UserState;
}

template <class UserState> void AStarSearch<UserState>::FreeSolutionNodes() {
    // Before the goal is found the start node is still on a list and is freed with it.
    if (m_State != SEARCH_STATE_FOUND || m_Start == nullptr || m_Goal == nullptr) {
        return;
    }
    Node *node = m_Start;
    if (m_Start->child != nullptr) {
        while (node != m_Goal) {
            Node *next = node->child;
            FreeNode(node);
            node = next;
        }
        FreeNode(m_Goal);
    } else {
        FreeNode(m_Start);
        FreeNode(m_Goal);
    }
    m_Start = nullptr;
    m_Goal = nullptr;
    m_CurrentSolutionNode = nullptr;
}

template <class UserState>
typename AStarSearch<UserState>::Node *AStarSearch<UserState>::AllocateNode() {
    Node *storage = m_Pool.alloc();
    return storage != nullptr ? new (storage) Node() : nullptr;
}

template <class UserState> void AStarSearch<UserState>::FreeNode(Node *node) {
    node->~Node();
    m_Pool.free(node);
}

/* Every node of the open and closed lists, and the goal node (on neither), go back to the
 * pool; nothing of the search is left. */
template <class UserState> void AStarSearch<UserState>::FreeAllNodes() {
    for (Node *node : m_OpenList) {
        FreeNode(node);
    }
    for (Node *node : m_ClosedList) {
        FreeNode(node);
    }
    m_OpenList.clear();
    m_ClosedList.clear();
    if (m_Goal != nullptr) {
        FreeNode(m_Goal);
    }
    m_Start = nullptr;
    m_Goal = nullptr;
    m_CurrentSolutionNode = nullptr;
}

/* The nodes of the open and closed lists that are not on the solution go back to the pool;
 * both lists end empty. */
template <class UserState> void AStarSearch<UserState>::FreeUnusedNodes() {
    for (Node *node : m_OpenList) {
        if (node->child == nullptr) {
            FreeNode(node);
        }
    }
    for (Node *node : m_ClosedList) {
        if (node->child == nullptr) {
            FreeNode(node);
        }
    }
    m_OpenList.clear();
    m_ClosedList.clear();
}

/* Drops whatever an earlier search left in the pool, on every list or none. */
template <class UserState> void AStarSearch<UserState>::ReleaseAllNodes() {
    while (Node *node = m_Pool.firstUsed()) {
        FreeNode(node);
    }
    m_OpenList.clear();
    m_ClosedList.clear();
    m_Successors.clear();
    m_Start = nullptr;
    m_Goal = nullptr;
    m_CurrentSolutionNode = nullptr;
}

#endif
