// The background worker: one thread per world that lights, meshes and saves
// chunks named by queued jobs, first in, first out.
//
// Lock order: the world's cache_mutex, then a chunk's mutex, then the queue
// mutex. The queue mutex and the two swap mutexes are innermost, and the swap
// mutexes are taken with no other lock held.
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "world.h"

static const char* worker_job_name(WorkerJobType type) {
    switch (type) {
    case WORKER_JOB_LIGHTING_AND_MESH: return "light/mesh";
    case WORKER_JOB_SAVE_METADATA: return "metadata";
    default: return "save";
    }
}

static void worker_lock(pthread_mutex_t* mutex, const char* what) {
    int rc = pthread_mutex_lock(mutex);
    if (rc != 0) {
        fprintf(stderr, "[worker] ERROR: could not lock %s: %s\n", what, strerror(rc));
    }
}

static void worker_unlock(pthread_mutex_t* mutex, const char* what) {
    int rc = pthread_mutex_unlock(mutex);
    if (rc != 0) {
        fprintf(stderr, "[worker] ERROR: could not unlock %s: %s\n", what, strerror(rc));
    }
}

// ---------------------------------------------------------------- the queue

// A queue whose first allocation failed starts with capacity 0; the first
// queued job then grows it like any full queue.
static bool worker_queue_setup(WorkerQueue* q) {
    q->count = 0;
    q->jobs_in_progress = 0;
    q->shutdown = false;
    q->queue = static_cast<WorkerJob*>(malloc(sizeof(WorkerJob) * WORKER_QUEUE_INITIAL_CAPACITY));
    q->capacity = q->queue ? WORKER_QUEUE_INITIAL_CAPACITY : 0;
    if (!q->queue) {
        fprintf(stderr, "[worker] ERROR: could not allocate the job queue (%d jobs)\n", WORKER_QUEUE_INITIAL_CAPACITY);
    }
    int rc = pthread_mutex_init(&q->mutex, nullptr);
    if (rc != 0) {
        fprintf(stderr, "[worker] ERROR: could not initialise the queue mutex: %s\n", strerror(rc));
        free(q->queue);
        q->queue = nullptr;
        return false;
    }
    rc = pthread_cond_init(&q->cond, nullptr);
    if (rc != 0) {
        fprintf(stderr, "[worker] ERROR: could not initialise the queue condition: %s\n", strerror(rc));
        pthread_mutex_destroy(&q->mutex);
        free(q->queue);
        q->queue = nullptr;
        return false;
    }
    return true;
}

static bool worker_queue_grow(WorkerQueue* q) {
    if (q->capacity > INT_MAX / 2) {
        return false;
    }
    int new_capacity = q->capacity > 0 ? q->capacity * 2 : WORKER_QUEUE_INITIAL_CAPACITY;
    void* grown = realloc(q->queue, sizeof(WorkerJob) * static_cast<size_t>(new_capacity));
    if (!grown) {
        return false;
    }
    q->queue = static_cast<WorkerJob*>(grown);
    q->capacity = new_capacity;
    return true;
}

static bool worker_job_equal(const WorkerJob& a, const WorkerJob& b) {
    return a.chunk_x == b.chunk_x && a.chunk_y == b.chunk_y && a.chunk_z == b.chunk_z && a.type == b.type;
}

// Main thread only. The same work is never waiting twice; a job already taken
// by the worker is no longer waiting, so queueing it again is not a duplicate.
// False when the job could not be queued (no queue, or it cannot grow).
static bool worker_queue_job(World* world, WorkerJob job) {
    if (!world->worker_running) {
        fprintf(stderr, "[worker] ERROR: no job queue; dropped %s job for chunk (%d,%d,%d)\n",
                worker_job_name(job.type), job.chunk_x, job.chunk_y, job.chunk_z);
        return false;
    }
    WorkerQueue* q = &world->worker_queue;
    worker_lock(&q->mutex, "the job queue");
    for (int i = 0; i < q->count; i++) {
        if (worker_job_equal(q->queue[i], job)) {
            worker_unlock(&q->mutex, "the job queue");
            return true;
        }
    }
    if (q->count >= q->capacity && !worker_queue_grow(q)) {
        fprintf(stderr,
                "[worker] ERROR: could not grow the job queue beyond %d jobs; dropped %s job for "
                "chunk (%d,%d,%d)\n",
                q->capacity, worker_job_name(job.type), job.chunk_x, job.chunk_y, job.chunk_z);
        worker_unlock(&q->mutex, "the job queue");
        return false;
    }
    q->queue[q->count] = job;
    q->count++;
    if (job.type == WORKER_JOB_SAVE_METADATA) {
        printf("[worker] Queued metadata job\n");
    } else {
        printf("[worker] Queued %s job for chunk (%d,%d,%d)\n", worker_job_name(job.type), job.chunk_x, job.chunk_y,
               job.chunk_z);
    }
    if (pthread_cond_signal(&q->cond) != 0) {
        fprintf(stderr, "[worker] ERROR: could not wake the worker thread\n");
    }
    worker_unlock(&q->mutex, "the job queue");
    return true;
}

void worker_queue_chunk(World* world, Chunk* chunk) {
    if (!world || !chunk) {
        return;
    }
    WorkerJob job = {chunk->chunk_x, chunk->chunk_y, chunk->chunk_z, WORKER_JOB_LIGHTING_AND_MESH};
    worker_queue_job(world, job);
}

void worker_queue_chunk_save(World* world, Chunk* chunk) {
    if (!world || !chunk) {
        return;
    }
    // The chunk's mutex is released before the queue mutex is taken.
    worker_lock(&chunk->mutex, "a chunk");
    bool already_pending = chunk->pending_save;
    chunk->pending_save = true;
    worker_unlock(&chunk->mutex, "a chunk");
    if (already_pending) {
        return;
    }
    WorkerJob job = {chunk->chunk_x, chunk->chunk_y, chunk->chunk_z, WORKER_JOB_SAVE_CHUNK};
    if (worker_queue_job(world, job)) {
        return;
    }
    // Nobody will save it: a pending save would keep the chunk in the cache for
    // good, while without one a later pass asks again.
    worker_lock(&chunk->mutex, "a chunk");
    chunk->pending_save = false;
    worker_unlock(&chunk->mutex, "a chunk");
}

void worker_queue_metadata_save(World* world, const WorldMetadata* metadata) {
    if (!world || !metadata || !world->worker_running) {
        return;
    }
    // A waiting metadata job writes the newest values; it is not queued twice.
    worker_lock(&world->worker_queue.mutex, "the job queue");
    world->worker_queue.metadata = *metadata;
    worker_unlock(&world->worker_queue.mutex, "the job queue");
    WorkerJob job = {0, 0, 0, WORKER_JOB_SAVE_METADATA};
    worker_queue_job(world, job);
}

// ---------------------------------------------------------------- the jobs

// Entered with the chunk's mutex held; returns with it released. `modified`
// is cleared before the write so that an edit made while the file is written
// sets it again and is saved later; a failed write sets it back, so the chunk
// keeps its edits in the cache until a later save succeeds.
static void worker_save_job(Chunk* chunk, const char* world_name) {
    bool write_failed = false;
    if (!chunk->generated) {
        // Only an edit can modify a chunk without terrain, and generation replaces
        // every cell when the chunk comes into play: there is nothing to keep.
        chunk->modified = false;
    } else if (chunk->modified) {
        chunk->modified = false;
        worker_unlock(&chunk->mutex, "a chunk");
        write_failed = !world_save_chunk(chunk, world_name);
        worker_lock(&chunk->mutex, "a chunk");
        if (write_failed) {
            chunk->modified = true;
        }
    }
    chunk->pending_save = false;
    worker_unlock(&chunk->mutex, "a chunk");
    if (write_failed) {
        fprintf(stderr, "[worker] ERROR: failed to save chunk (%d,%d,%d) of world %s\n", chunk->chunk_x, chunk->chunk_y,
                chunk->chunk_z, world_name);
        fflush(stderr);
    }
}

// Fills the inactive light buffers and then flips them, so readers always see
// one complete light field. Runs with no lock held.
static void worker_relight(World* world, Chunk* chunk) {
    fprintf(stderr, "[worker] Computing lighting for chunk (%d,%d,%d)\n", chunk->chunk_x, chunk->chunk_y,
            chunk->chunk_z);
    fflush(stderr);
    int inactive = 1 - chunk->active_light_buffer;
    calculate_chunk_skylight(chunk, world, inactive);
    calculate_chunk_blocklight(chunk, world, inactive);
    worker_lock(&chunk->light_swap_mutex, "a light swap");
    chunk->active_light_buffer = inactive;
    chunk->light_stamp = world_next_stamp();
    worker_unlock(&chunk->light_swap_mutex, "a light swap");
}

// Runs with no lock held.
static void worker_remesh(World* world, Chunk* chunk) {
    fprintf(stderr, "[worker] Caching visible blocks for chunk (%d,%d,%d)\n", chunk->chunk_x, chunk->chunk_y,
            chunk->chunk_z);
    fflush(stderr);
    chunk_cache_visible_blocks(chunk, world);
    // The main thread may swap the lists too; read the count under the swap lock.
    worker_lock(&chunk->mesh_swap_mutex, "a mesh swap");
    int cached = chunk->visible_count[chunk->active_mesh];
    worker_unlock(&chunk->mesh_swap_mutex, "a mesh swap");
    fprintf(stderr, "[worker] Cached %d visible blocks for chunk (%d,%d,%d)\n", cached, chunk->chunk_x, chunk->chunk_y,
            chunk->chunk_z);
    fflush(stderr);
}

// Entered with the chunk's mutex held; returns with it released. The flags are
// read once here; edits made meanwhile set them again and queue another job.
static void worker_light_and_mesh_job(World* world, Chunk* chunk) {
    if (!chunk->loaded) {
        worker_unlock(&chunk->mutex, "a chunk");
        return;
    }
    // The flag is claimed now rather than after the rebuild: whoever marks the
    // chunk unmeshed while the rebuild runs (an edit, a neighbour coming into
    // play) queues a job that must find the flag cleared and rebuild again.
    bool needs_meshing = !chunk->meshed;
    chunk->meshed = true;
    bool needs_light = chunk->needs_relighting;
    if (needs_light) {
        chunk->needs_relighting = false;
    }
    worker_unlock(&chunk->mutex, "a chunk");
    if (needs_light) {
        worker_relight(world, chunk);
    }
    if (needs_meshing) {
        worker_remesh(world, chunk);
    }
}

// Writes world.txt of the running world as the metadata job was asked to.
static void worker_metadata_job(World* world) {
    char world_name[WORLD_NAME_MAX] = {0};
    worker_lock(&world->cache_mutex, "the chunk cache");
    snprintf(world_name, sizeof world_name, "%s", world->world_name);
    worker_unlock(&world->cache_mutex, "the chunk cache");
    worker_lock(&world->worker_queue.mutex, "the job queue");
    const WorldMetadata metadata = world->worker_queue.metadata;
    worker_unlock(&world->worker_queue.mutex, "the job queue");
    world_finish_autosave(&metadata, world_name);
}

// Finds the job's chunk and pins it while the job works on it. A chunk that is
// no longer cached or has moved is skipped, and so is lighting for a chunk
// without terrain; streaming queues a new job when it brings the chunk back.
static void worker_run_job(World* world, WorkerJob job) {
    if (job.type == WORKER_JOB_SAVE_METADATA) {
        worker_metadata_job(world);
        return;
    }
    char world_name[WORLD_NAME_MAX] = {0};
    worker_lock(&world->cache_mutex, "the chunk cache");
    Chunk* chunk = world_get_chunk(world, job.chunk_x, job.chunk_y, job.chunk_z);
    if (!chunk) {
        worker_unlock(&world->cache_mutex, "the chunk cache");
        return;
    }
    // Pinned while cache_mutex is held, so streaming never removes the chunk between lookup and pin.
    chunk->in_use_count.fetch_add(1);
    worker_lock(&chunk->mutex, "a chunk");
    snprintf(world_name, sizeof world_name, "%s", world->world_name);
    worker_unlock(&world->cache_mutex, "the chunk cache");

    bool same_chunk = chunk->chunk_x == job.chunk_x && chunk->chunk_y == job.chunk_y && chunk->chunk_z == job.chunk_z;
    if (!same_chunk) {
        worker_unlock(&chunk->mutex, "a chunk");
    } else if (job.type == WORKER_JOB_SAVE_CHUNK) {
        worker_save_job(chunk, world_name);
    } else if (!chunk->generated) {
        worker_unlock(&chunk->mutex, "a chunk");
    } else {
        worker_light_and_mesh_job(world, chunk);
    }
    chunk->in_use_count.fetch_sub(1);
}

// ---------------------------------------------------------------- the thread

// Waits for the oldest job and takes it. Returns false once shutdown is set
// and the queue is empty, so every job queued before shutdown still runs.
static bool worker_take_job(WorkerQueue* q, WorkerJob* job) {
    worker_lock(&q->mutex, "the job queue");
    while (q->count == 0) {
        if (q->shutdown) {
            worker_unlock(&q->mutex, "the job queue");
            return false;
        }
        int rc = pthread_cond_wait(&q->cond, &q->mutex);
        if (rc != 0) {
            fprintf(stderr, "[worker] ERROR: could not wait for jobs: %s\n", strerror(rc));
        }
    }
    *job = q->queue[0];
    memmove(q->queue, q->queue + 1, sizeof(WorkerJob) * static_cast<size_t>(q->count - 1));
    q->count--;
    q->jobs_in_progress++;
    worker_unlock(&q->mutex, "the job queue");
    return true;
}

static void* worker_thread_main(void* arg) {
    World* world = static_cast<World*>(arg);
    WorkerQueue* q = &world->worker_queue;
    WorkerJob job = {0, 0, 0, WORKER_JOB_LIGHTING_AND_MESH};
    while (worker_take_job(q, &job)) {
        worker_run_job(world, job);
        worker_lock(&q->mutex, "the job queue");
        q->jobs_in_progress--;
        worker_unlock(&q->mutex, "the job queue");
    }
    return nullptr;
}

// Keeps the long light and mesh work off the main thread's core. Returns
// false when that core does not exist or the set cannot be stored.
static bool worker_pin_attrs(pthread_attr_t* attrs) {
    long cpus = sysconf(_SC_NPROCESSORS_CONF);
    if (WORKER_CPU >= CPU_SETSIZE || cpus <= WORKER_CPU) {
        return false;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(WORKER_CPU, &set);
    return pthread_attr_setaffinity_np(attrs, sizeof set, &set) == 0;
}

// A pinned start that fails (the core may be outside the process's allowed
// set) is retried unpinned; without any thread the queue still exists, but
// nothing will run its jobs.
static void worker_start_thread(World* world) {
    pthread_attr_t attrs;
    bool have_attrs = pthread_attr_init(&attrs) == 0;
    bool pinned = have_attrs && worker_pin_attrs(&attrs);
    int rc = pthread_create(&world->worker_thread, pinned ? &attrs : nullptr, worker_thread_main, world);
    if (rc != 0 && pinned) {
        pinned = false;
        rc = pthread_create(&world->worker_thread, nullptr, worker_thread_main, world);
    }
    if (have_attrs && pthread_attr_destroy(&attrs) != 0) {
        fprintf(stderr, "[worker] ERROR: could not release the worker thread attributes\n");
    }
    world->worker_thread_started = rc == 0;
    if (rc != 0) {
        fprintf(stderr, "[worker] ERROR: could not create worker thread: %s\n", strerror(rc));
        return;
    }
    if (pinned) {
        printf("[worker] Worker thread CPU affinity set to core %d\n", WORKER_CPU);
    } else {
        printf("[worker] CPU %d not available; worker thread runs without affinity\n", WORKER_CPU);
    }
    printf("[worker] Worker thread started\n");
}

void worker_init(World* world) {
    if (!world) {
        return;
    }
    world->worker_running = false;
    world->worker_thread_started = false;
    if (!worker_queue_setup(&world->worker_queue)) {
        return;
    }
    world->worker_running = true;
    worker_start_thread(world);
}

// ---------------------------------------------------------------- flush and shutdown

static void worker_sleep_ns(long ns) {
    struct timespec left = {0, ns};
    while (nanosleep(&left, &left) != 0) {
        if (errno != EINTR) {
            fprintf(stderr, "[worker] ERROR: could not sleep while flushing: %s\n", strerror(errno));
            return;
        }
    }
}

void worker_flush_queue(World* world) {
    if (!world || !world->worker_running) {
        return;
    }
    WorkerQueue* q = &world->worker_queue;
    for (int wait_count = 0;; wait_count++) {
        worker_lock(&q->mutex, "the job queue");
        int count = q->count;
        int in_progress = q->jobs_in_progress;
        worker_unlock(&q->mutex, "the job queue");
        if (count == 0 && in_progress == 0) {
            printf("[worker] Queue flushed after %d checks\n", wait_count);
            return;
        }
        if (!world->worker_thread_started) {
            printf("[worker] WARNING: no worker thread; %d queued jobs will not run\n", count);
            return;
        }
        if (wait_count % 10 == 0) {
            printf("[worker] Waiting for queue... (count=%d, in_progress=%d)\n", count, in_progress);
        }
        worker_sleep_ns(WORKER_FLUSH_SLEEP_NS);
        if (wait_count == WORKER_FLUSH_MAX_CHECKS) {
            printf("[worker] WARNING: Queue flush timeout! (count=%d, in_progress=%d)\n", count, in_progress);
            return;
        }
    }
}

static void worker_queue_release(WorkerQueue* q) {
    int rc = pthread_mutex_destroy(&q->mutex);
    if (rc != 0) {
        fprintf(stderr, "[worker] ERROR: could not destroy the queue mutex: %s\n", strerror(rc));
    }
    rc = pthread_cond_destroy(&q->cond);
    if (rc != 0) {
        fprintf(stderr, "[worker] ERROR: could not destroy the queue condition: %s\n", strerror(rc));
    }
    free(q->queue);
    q->queue = nullptr;
    q->count = 0;
    q->capacity = 0;
}

// Safe to call twice: the second call finds no running worker and returns.
void worker_shutdown(World* world) {
    if (!world || !world->worker_running) {
        return;
    }
    WorkerQueue* q = &world->worker_queue;
    worker_lock(&q->mutex, "the job queue");
    q->shutdown = true;
    if (pthread_cond_broadcast(&q->cond) != 0) {
        fprintf(stderr, "[worker] ERROR: could not wake the worker thread for shutdown\n");
    }
    int unrun = q->count;
    worker_unlock(&q->mutex, "the job queue");
    if (world->worker_thread_started) {
        printf("[worker] Waiting for worker thread to exit...\n");
        int rc = pthread_join(world->worker_thread, nullptr);
        if (rc != 0) {
            // The thread may still use the queue, so it is left allocated.
            fprintf(stderr, "[worker] ERROR: could not join the worker thread: %s\n", strerror(rc));
            world->worker_running = false;
            return;
        }
        printf("[worker] Worker thread exited\n");
        world->worker_thread_started = false;
    } else if (unrun > 0) {
        fprintf(stderr, "[worker] ERROR: no worker thread; %d queued jobs were not run\n", unrun);
    }
    worker_queue_release(q);
    world->worker_running = false;
    printf("[worker] Worker thread shut down\n");
}
