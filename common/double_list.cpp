/* Doubly linked lists (see double_list.h). */
#include "double_list.h"

#include "fatal.h"
#include "mempool.h"

#include <stdio.h>

static MemPool dbl_pool = MEM_POOL_INIT("Dbl");

DBL *DBL_AllocDbl(void) {
    DBL *node = (DBL *)MEM_AllocBlock(sizeof(DBL), &dbl_pool, DBL_NODES_PER_CHUNK);
    /* A failed pool would otherwise be written through below. */
    FATAL_ASSERT(node != NULL);
    return node;
}

void DBL_FreeDbl(DBL *node) { MEM_FreeBlock(node, &dbl_pool); }

static DBL *new_node(void *e) {
    DBL *node = DBL_AllocDbl();
    node->previous = NULL;
    node->next = NULL;
    node->element = e;
    return node;
}

DBL *DBL_AddBefore(DBL *l, void *e) {
    FATAL_ASSERT(e);
    DBL *node = new_node(e);
    if (l != NULL) {
        node->previous = l->previous;
        if (l->previous != NULL)
            l->previous->next = node;
        l->previous = node;
        node->next = l;
    }
    return node;
}

DBL *DBL_AddAfter(DBL *l, void *e) {
    FATAL_ASSERT(e);
    DBL *node = new_node(e);
    if (l != NULL)
        DBL_Append(l, node);
    return node;
}

DBL *DBL_AddToTail(DBL *l, void *e) {
    FATAL_ASSERT(l);
    return DBL_AddAfter(DBL_Tail(l), e);
}

void DBL_Append(DBL *l1, DBL *l2) {
    l2->previous = l1;
    l2->next = l1->next;
    if (l1->next != NULL)
        l1->next->previous = l2;
    l1->next = l2;
}

void DBL_Remove(DBL *l) {
    if (l->previous != NULL)
        l->previous->next = l->next;
    if (l->next != NULL)
        l->next->previous = l->previous;
}

DBL *DBL_Head(DBL *l) {
    if (l == NULL)
        return NULL;
    DBL *node = l;
    while (node->previous != NULL && node->previous != l)
        node = node->previous;
    return node;
}

DBL *DBL_Tail(DBL *l) {
    if (l == NULL)
        return NULL;
    DBL *node = l;
    while (node->next != NULL && node->next != l)
        node = node->next;
    return node;
}

void DBL_Close(DBL *l) {
    DBL *Head = DBL_Head(l);
    DBL *Tail = DBL_Tail(l);
    FATAL_ASSERT(Head);
    FATAL_ASSERT(Tail);
    Tail->next = Head;
    Head->previous = Tail;
}

DBL *DBL_Member(DBL *l, void *e, dbl_compare_func Compare) {
    DBL *node = l;
    while (node != NULL) {
        if (Compare(e, node->element))
            return node;
        node = node->next;
        if (node == l)
            break;
    }
    return NULL;
}

DBL *DBL_Destroy(DBL *l, void *e, dbl_compare_func Compare, dbl_free_func Free) {
    DBL *node = DBL_Member(l, e, Compare);
    if (node == NULL)
        return l;
    DBL *result = l;
    if (node == l)
        result = (l->next == l) ? NULL : l->next; /* a one-node ring empties too */
    DBL_Remove(node);
    if (Free != NULL)
        Free(node->element);
    DBL_FreeDbl(node);
    return result;
}

int DBL_Free(DBL *l, dbl_free_func Free) {
    if (l == NULL)
        return 0;
    if (l->previous != NULL)
        l->previous->next = NULL;
    while (l != NULL) {
        DBL *next = l->next;
        if (Free != NULL)
            Free(l->element);
        DBL_FreeDbl(l);
        l = next;
    }
    return 0;
}

DBL *DBL_Revert(DBL *l) {
    DBL *node = l;
    DBL *last = l;
    while (node != NULL) {
        DBL *next = node->next;
        node->next = node->previous;
        node->previous = next;
        last = node;
        node = next;
        if (node == l)
            break;
    }
    return last;
}

void DBL_PrintList(DBL *l, dbl_print_func Print) {
    FATAL_ASSERT(Print);
    for (DBL *node = l; node != NULL; node = node->next) {
        Print(node->element);
        if (node->next == l)
            break; /* back at the start of a ring */
    }
}

void DBL_StringPrint(DBL *l) {
    for (DBL *node = l; node != NULL; node = node->next) {
        printf("%s ", (const char *)node->element);
        if (node->next == l)
            break;
    }
    printf("\n");
}
