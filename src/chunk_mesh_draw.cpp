// Chunk meshes on the card: the shader, the buffers of each loaded chunk and
// drawing them.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "chunk_mesh.h"
#include "rlgl.h"

// The shader repeats the block-by-block pass's arithmetic in single precision
// and in the same order: the block centre, its squared distance, the cut, the
// fog from the centre, each step truncated to whole colour levels as the CPU
// does, then the face's brightness. The fragment stage is the graphics
// library's own: texel times colour.
static const char* const VERTEX_SHADER = R"(#version 330
in vec4 corner;
in vec4 cell;
uniform mat4 mvp;
uniform vec3 chunkOrigin;
uniform vec3 camPos;
uniform float cutSq;
uniform float fogStart;
uniform float fogLength;
uniform vec3 baseColor;
uniform vec3 fogColor;
uniform float brightness[96];
out vec2 fragTexCoord;
out vec4 fragColor;
void main()
{
    vec3 centre = (cell.xyz + chunkOrigin) + 0.5;
    vec3 toBlock = centre - camPos;
    float distSq = toBlock.x*toBlock.x + toBlock.y*toBlock.y + toBlock.z*toBlock.z;
    fragTexCoord = vec2(mod(corner.w, 2.0), floor(corner.w*0.5));
    if (distSq > cutSq) {
        fragColor = vec4(0.0);
        gl_Position = vec4(2.0, 2.0, 2.0, 1.0);
        return;
    }
    float dist = sqrt(distSq);
    vec3 fogged = baseColor;
    if (dist > fogStart) {
        float factor = min((dist - fogStart)/fogLength, 1.0);
        fogged = floor(baseColor*(1.0 - factor) + fogColor*factor);
    }
    vec3 shaded = floor(fogged*brightness[int(cell.w)]);
    fragColor = vec4(shaded/255.0, 1.0);
    gl_Position = mvp*vec4(corner.xyz + chunkOrigin, 1.0);
}
)";

static const char* const FRAGMENT_SHADER = R"(#version 330
in vec2 fragTexCoord;
in vec4 fragColor;
out vec4 finalColor;
uniform sampler2D texture0;
void main()
{
    vec4 texelColor = texture(texture0, fragTexCoord);
    finalColor = texelColor*fragColor;
}
)";

static constexpr int BRIGHTNESS_ENTRIES = 6 * (LIGHT_MAX + 1);
// Radius of a sphere around a whole chunk: half its diagonal, rounded up.
static constexpr float CHUNK_MESH_RADIUS = 39.2f;

// Grows *buffer to hold at least `needed` elements of `size` bytes; false when memory runs out.
static bool ensure_capacity(void** buffer, int* capacity, int needed, size_t size) {
    if (needed <= *capacity) return true;
    int grown = *capacity > 0 ? *capacity : 64;
    while (grown < needed) grown *= 2;
    void* bigger = realloc(*buffer, static_cast<size_t>(grown) * size);
    if (!bigger) {
        fprintf(stderr, "[chunk_mesh] Out of memory for %d entries\n", grown);
        return false;
    }
    *buffer = bigger;
    *capacity = grown;
    return true;
}

static bool load_shader(ChunkMeshShader* shader) {
    shader->id = rlLoadShaderProgram(VERTEX_SHADER, FRAGMENT_SHADER);
    if (shader->id == 0) return false;
    const unsigned int id = shader->id;
    shader->mvp = rlGetLocationUniform(id, "mvp");
    shader->chunk_origin = rlGetLocationUniform(id, "chunkOrigin");
    shader->cam_pos = rlGetLocationUniform(id, "camPos");
    shader->cut_sq = rlGetLocationUniform(id, "cutSq");
    shader->fog_start = rlGetLocationUniform(id, "fogStart");
    shader->fog_length = rlGetLocationUniform(id, "fogLength");
    shader->base_color = rlGetLocationUniform(id, "baseColor");
    shader->fog_color = rlGetLocationUniform(id, "fogColor");
    shader->brightness = rlGetLocationUniform(id, "brightness");
    shader->texture0 = rlGetLocationUniform(id, "texture0");
    shader->corner_attrib = rlGetLocationAttrib(id, "corner");
    shader->cell_attrib = rlGetLocationAttrib(id, "cell");
    if (shader->corner_attrib < 0 || shader->cell_attrib < 0) return false;
    // Uniforms that never change stay with the program.
    float brightness[BRIGHTNESS_ENTRIES];
    for (int face = 0; face < 6; face++)
        for (int light = 0; light <= LIGHT_MAX; light++)
            brightness[face * (LIGHT_MAX + 1) + light] = render_face_brightness(face, light);
    const float fog[3] = {RENDER_SKY_COLOR.r, RENDER_SKY_COLOR.g, RENDER_SKY_COLOR.b};
    const int unit = 0;
    rlEnableShader(id);
    rlSetUniform(shader->brightness, brightness, RL_SHADER_UNIFORM_FLOAT, BRIGHTNESS_ENTRIES);
    rlSetUniform(shader->fog_color, fog, RL_SHADER_UNIFORM_VEC3, 1);
    rlSetUniform(shader->texture0, &unit, RL_SHADER_UNIFORM_INT, 1);
    rlDisableShader();
    return true;
}

ChunkMeshSet* chunk_meshes_create(void) {
    ChunkMeshSet* set = static_cast<ChunkMeshSet*>(calloc(1, sizeof(ChunkMeshSet)));
    if (!set) {
        fprintf(stderr, "[chunk_mesh] Failed to allocate the mesh set\n");
        return nullptr;
    }
    if (!load_shader(&set->shader)) {
        fprintf(stderr, "[chunk_mesh] The chunk mesh shader could not be made\n");
        if (set->shader.id != 0) rlUnloadShaderProgram(set->shader.id);
        free(set);
        return nullptr;
    }
    return set;
}

static void release_buffers(ChunkMesh* mesh) {
    if (mesh->vao != 0) rlUnloadVertexArray(mesh->vao);
    if (mesh->vbo != 0) rlUnloadVertexBuffer(mesh->vbo);
    mesh->vao = 0;
    mesh->vbo = 0;
    mesh->vertex_count = 0;
}

static void release_mesh(ChunkMesh* mesh) {
    release_buffers(mesh);
    free(mesh->cells);
    mesh->cells = nullptr;
    mesh->cell_count = 0;
}

static void release_all(ChunkMeshSet* set) {
    for (int i = 0; i < set->count; i++) release_mesh(&set->meshes[i]);
    set->count = 0;
}

void chunk_meshes_free(ChunkMeshSet* set) {
    if (!set) return;
    release_all(set);
    free(set->meshes);
    free(set->chunks);
    free(set->order);
    chunk_mesh_build_free(&set->build);
    rlUnloadShaderProgram(set->shader.id);
    free(set);
}

size_t chunk_meshes_card_bytes(const ChunkMeshSet* set) {
    size_t bytes = 0;
    for (int i = 0; set && i < set->count; i++)
        bytes += static_cast<size_t>(set->meshes[i].vertex_count) * sizeof(ChunkMeshVertex);
    return bytes;
}

static bool upload(ChunkMeshSet* set, ChunkMesh* mesh) {
    const ChunkMeshBuild* build = &set->build;
    release_buffers(mesh);
    if (build->vertex_count == 0) return true;
    mesh->vao = rlLoadVertexArray();
    if (mesh->vao == 0 || !rlEnableVertexArray(mesh->vao)) {
        fprintf(stderr, "[chunk_mesh] No vertex array for chunk (%d,%d,%d)\n", mesh->chunk_x, mesh->chunk_y,
                mesh->chunk_z);
        release_buffers(mesh);
        return false;
    }
    const int stride = sizeof(ChunkMeshVertex);
    mesh->vbo = rlLoadVertexBuffer(build->vertices, build->vertex_count * stride, false);
    rlSetVertexAttribute(set->shader.corner_attrib, 4, RL_UNSIGNED_BYTE, false, stride, 0);
    rlEnableVertexAttribute(set->shader.corner_attrib);
    rlSetVertexAttribute(set->shader.cell_attrib, 4, RL_UNSIGNED_BYTE, false, stride, 4);
    rlEnableVertexAttribute(set->shader.cell_attrib);
    rlDisableVertexArray();
    mesh->vertex_count = build->vertex_count;
    return true;
}

// Makes the mesh of `chunk` anew from its current list and light.
static void rebuild(ChunkMeshSet* set, ChunkMesh* mesh, World* world, Chunk* chunk) {
    ChunkMeshSource source = chunk_mesh_source(world, chunk);
    const int count = chunk_mesh_copy_list(chunk, &set->build, &source.list_stamp);
    if (count < 0 || !chunk_mesh_build(&set->build, world, chunk, count)) return;
    uint16_t* cells = static_cast<uint16_t*>(realloc(mesh->cells, static_cast<size_t>(count + 1) * sizeof(uint16_t)));
    if (!cells) {
        fprintf(stderr, "[chunk_mesh] Out of memory for the cells of chunk (%d,%d,%d)\n", chunk->chunk_x,
                chunk->chunk_y, chunk->chunk_z);
        return;
    }
    mesh->cells = cells;
    if (count > 0) memcpy(cells, set->build.cells, static_cast<size_t>(count) * sizeof(uint16_t));
    mesh->cell_count = count;
    if (!upload(set, mesh)) return;
    memcpy(mesh->first, set->build.first, sizeof mesh->first);
    memcpy(mesh->count, set->build.count, sizeof mesh->count);
    mesh->source = source;
}

static ChunkMesh* find_mesh(ChunkMeshSet* set, const Chunk* chunk) {
    for (int i = 0; i < set->count; i++) {
        ChunkMesh* mesh = &set->meshes[i];
        if (mesh->chunk_x == chunk->chunk_x && mesh->chunk_y == chunk->chunk_y && mesh->chunk_z == chunk->chunk_z)
            return mesh;
    }
    return nullptr;
}

// A new, empty mesh whose source matches no chunk, so the first update builds it.
static ChunkMesh* add_mesh(ChunkMeshSet* set, const Chunk* chunk) {
    if (!ensure_capacity(reinterpret_cast<void**>(&set->meshes), &set->capacity, set->count + 1, sizeof(ChunkMesh)))
        return nullptr;
    ChunkMesh* mesh = &set->meshes[set->count++];
    memset(mesh, 0, sizeof *mesh);
    mesh->chunk_x = chunk->chunk_x;
    mesh->chunk_y = chunk->chunk_y;
    mesh->chunk_z = chunk->chunk_z;
    mesh->source.list_stamp = UINT32_MAX;
    return mesh;
}

static int snapshot_chunks(ChunkMeshSet* set, World* world) {
    pthread_mutex_lock(&world->cache_mutex);
    const int count = world->chunk_cache.chunk_count;
    int taken = 0;
    if (ensure_capacity(reinterpret_cast<void**>(&set->chunks), &set->chunk_capacity, count, sizeof(Chunk*))) {
        for (int i = 0; i < count; i++) set->chunks[i] = &world->chunk_cache.chunks[i];
        taken = count;
    }
    pthread_mutex_unlock(&world->cache_mutex);
    return taken;
}

// Frees the meshes no chunk in play claimed in this sweep.
static void drop_unseen(ChunkMeshSet* set) {
    int kept = 0;
    for (int i = 0; i < set->count; i++) {
        if (set->meshes[i].seen) {
            set->meshes[kept++] = set->meshes[i];
        } else {
            release_mesh(&set->meshes[i]);
        }
    }
    set->count = kept;
}

void chunk_meshes_update(ChunkMeshSet* set, World* world) {
    if (!set) return;
    if (set->world != world) {
        release_all(set);
        set->world = world;
    }
    for (int i = 0; i < set->count; i++) set->meshes[i].seen = false;
    const int chunk_count = world ? snapshot_chunks(set, world) : 0;
    for (int c = 0; c < chunk_count; c++) {
        Chunk* chunk = set->chunks[c];
        if (!chunk->loaded.load() || !chunk->generated.load()) continue;
        ChunkMesh* mesh = find_mesh(set, chunk);
        if (!mesh) mesh = add_mesh(set, chunk);
        if (!mesh) continue;
        mesh->seen = true;
        const ChunkMeshSource now = chunk_mesh_source(world, chunk);
        if (!chunk_mesh_source_equal(&now, &mesh->source)) rebuild(set, mesh, world, chunk);
    }
    drop_unseen(set);
}

static Vector3 chunk_centre(const ChunkMesh* mesh, const ChunkMeshView* view) {
    return Vector3{static_cast<float>(mesh->chunk_x * CHUNK_SIZE) + CHUNK_SIZE * 0.5f - view->offset.x,
                   static_cast<float>(mesh->chunk_y * CHUNK_HEIGHT) + CHUNK_HEIGHT * 0.5f,
                   static_cast<float>(mesh->chunk_z * CHUNK_SIZE) + CHUNK_SIZE * 0.5f - view->offset.z};
}

static float distance_sq(Vector3 a, Vector3 b) {
    const float x = a.x - b.x, y = a.y - b.y, z = a.z - b.z;
    return x * x + y * y + z * z;
}

// Counts every mesh's blocks within the cut and lists the meshes worth
// drawing, nearest first, so the depth test spares most hidden pixels.
static int count_and_order(ChunkMeshSet* set, const ChunkMeshView* view, int* draw_count) {
    *draw_count = 0;
    if (!ensure_capacity(reinterpret_cast<void**>(&set->order), &set->order_capacity, set->count, sizeof(int)))
        return 0;
    int within_total = 0;
    for (int i = 0; i < set->count; i++) {
        const ChunkMesh* mesh = &set->meshes[i];
        const int within =
            chunk_mesh_count_within(mesh->cells, mesh->cell_count, mesh->chunk_x, mesh->chunk_y, mesh->chunk_z, view);
        within_total += within;
        if (within == 0 || mesh->vertex_count == 0) continue;
        const Vector3 centre = chunk_centre(mesh, view);
        if (!render_frustum_sphere(&view->frustum, centre, CHUNK_MESH_RADIUS)) continue;
        const float key = distance_sq(centre, view->cam);
        int at = (*draw_count)++;
        for (; at > 0 && distance_sq(chunk_centre(&set->meshes[set->order[at - 1]], view), view->cam) > key; at--)
            set->order[at] = set->order[at - 1];
        set->order[at] = i;
    }
    return within_total;
}

static void matrix_values(Matrix m, float* out) {
    const float values[16] = {m.m0, m.m1, m.m2,  m.m3,  m.m4,  m.m5,  m.m6,  m.m7,
                              m.m8, m.m9, m.m10, m.m11, m.m12, m.m13, m.m14, m.m15};
    memcpy(out, values, sizeof values);
}

// Model-view times projection, summed in the order the library's batches use,
// so that a corner lands on exactly the same pixel as when the library draws it.
static Matrix batch_mvp(void) {
    float left[16], right[16], r[16];
    matrix_values(rlGetMatrixModelview(), left);
    matrix_values(rlGetMatrixProjection(), right);
    for (int row = 0; row < 4; row++)
        for (int col = 0; col < 4; col++)
            r[row * 4 + col] = left[row * 4] * right[col] + left[row * 4 + 1] * right[4 + col] +
                               left[row * 4 + 2] * right[8 + col] + left[row * 4 + 3] * right[12 + col];
    return Matrix{r[0], r[4], r[8],  r[12], r[1], r[5], r[9],  r[13],
                  r[2], r[6], r[10], r[14], r[3], r[7], r[11], r[15]};
}

static void set_frame_uniforms(const ChunkMeshShader* shader, const ChunkMeshView* view) {
    const float cut = RENDER_CUT_SHARE * view->render_distance;
    const float cut_sq = cut * cut;
    const float fog_start = RENDER_FOG_START_SHARE * view->render_distance;
    const float fog_length = RENDER_FOG_LENGTH_SHARE * view->render_distance;
    rlSetUniformMatrix(shader->mvp, batch_mvp());
    rlSetUniform(shader->cam_pos, &view->cam, RL_SHADER_UNIFORM_VEC3, 1);
    rlSetUniform(shader->cut_sq, &cut_sq, RL_SHADER_UNIFORM_FLOAT, 1);
    rlSetUniform(shader->fog_start, &fog_start, RL_SHADER_UNIFORM_FLOAT, 1);
    rlSetUniform(shader->fog_length, &fog_length, RL_SHADER_UNIFORM_FLOAT, 1);
}

static void draw_mesh(const ChunkMeshShader* shader, const ChunkMesh* mesh, World* world, const ChunkMeshView* view) {
    const float origin[3] = {static_cast<float>(mesh->chunk_x * CHUNK_SIZE) - view->offset.x,
                             static_cast<float>(mesh->chunk_y * CHUNK_HEIGHT),
                             static_cast<float>(mesh->chunk_z * CHUNK_SIZE) - view->offset.z};
    rlSetUniform(shader->chunk_origin, origin, RL_SHADER_UNIFORM_VEC3, 1);
    rlEnableVertexArray(mesh->vao);
    for (int type = 0; type < CHUNK_MESH_TYPES; type++) {
        if (mesh->count[type] == 0) continue;
        // A type without a texture shows its flat colour, as the white texture gives.
        const unsigned int texture = world_get_block_texture(world, static_cast<BlockType>(type)).id;
        rlEnableTexture(texture != 0 ? texture : rlGetTextureIdDefault());
        const Color color = world_get_block_color(static_cast<BlockType>(type));
        const float base[3] = {static_cast<float>(color.r), static_cast<float>(color.g), static_cast<float>(color.b)};
        rlSetUniform(shader->base_color, base, RL_SHADER_UNIFORM_VEC3, 1);
        rlDrawVertexArray(mesh->first[type], mesh->count[type]);
    }
}

int chunk_meshes_draw(ChunkMeshSet* set, World* world, const ChunkMeshView* view) {
    if (!set || !world || set->world != world) return 0;
    int draw_count = 0;
    const int within = count_and_order(set, view, &draw_count);
    if (draw_count == 0) return within;
    // Whatever the library has batched so far goes first, as it would have.
    rlDrawRenderBatchActive();
    rlEnableShader(set->shader.id);
    set_frame_uniforms(&set->shader, view);
    rlActiveTextureSlot(0);
    for (int i = 0; i < draw_count; i++) draw_mesh(&set->shader, &set->meshes[set->order[i]], world, view);
    rlDisableVertexArray();
    rlDisableTexture();
    rlDisableShader();
    return within;
}
