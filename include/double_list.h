/* Doubly linked lists of untyped elements, linear or closed into a ring.
 *
 * A list is handled through a pointer to one of its nodes (as a rule its head); the empty list is
 * null. Nodes come from the pool "Dbl"; elements are never null and never owned by the list.
 * Misuse, and a node pool that cannot grow, are fatal assertions. Walks stop at a null link or
 * when they come back to their start, so rings are safe everywhere. */
#ifndef ROVAK_DOUBLE_LIST_H
#define ROVAK_DOUBLE_LIST_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct double_list {
    struct double_list *previous;
    struct double_list *next;
    void *element;
} DBL;

/* (searched element, stored element) -> non-zero on a match */
typedef int (*dbl_compare_func)(void *searched, void *stored);
typedef void (*dbl_free_func)(void *element);
typedef void (*dbl_print_func)(void *element);

#define DBL_NODES_PER_CHUNK 2000

/* A node from the pool "Dbl" (fatal assertion when the pool cannot grow). */
DBL *DBL_AllocDbl(void);
/* Returns a node to the pool. */
void DBL_FreeDbl(DBL *node);
/* New node with e before l (a one-node list when l is null); the caller keeps it as the head. */
DBL *DBL_AddBefore(DBL *l, void *e);
/* New node with e right after l (a one-node list when l is null). */
DBL *DBL_AddAfter(DBL *l, void *e);
/* New node with e after the tail of the non-null list l; returns the new node. */
DBL *DBL_AddToTail(DBL *l, void *e);
/* Links node l2 in right after l1 (l2's own links are overwritten). */
void DBL_Append(DBL *l1, DBL *l2);
/* Unlinks l from its neighbours; l keeps its own links and is not released. */
void DBL_Remove(DBL *l);
/* The first / last node reached from l (stopping at a null link or back at l). */
DBL *DBL_Head(DBL *l);
DBL *DBL_Tail(DBL *l);
/* Closes the list into a ring. */
void DBL_Close(DBL *l);
/* The first node from l forward whose element matches e, or null. */
DBL *DBL_Member(DBL *l, void *e, dbl_compare_func Compare);
/* Removes the first node matching e (calling Free on its element when given); returns l, or l's
 * successor when l itself was removed (null for a removed single node). */
DBL *DBL_Destroy(DBL *l, void *e, dbl_compare_func Compare, dbl_free_func Free);
/* Cuts the list before l and releases every node from l on (Free on each element when given). */
int DBL_Free(DBL *l, dbl_free_func Free);
/* Reverses the list from l; returns the last node visited (the new head of a linear list). */
DBL *DBL_Revert(DBL *l);
/* Calls Print on each element from l forward. */
void DBL_PrintList(DBL *l, dbl_print_func Print);
/* Prints each element as "%s " and then a line feed on standard output. */
void DBL_StringPrint(DBL *l);

#ifdef __cplusplus
}
#endif

#endif
