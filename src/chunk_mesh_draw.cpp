// Chunk meshes on the card: the shader, the buffers of each loaded chunk and
// drawing them.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "chunk_mesh.h"
#include "rlgl.h"
#include "utils.h"

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
uniform vec3 frustumEye;
uniform vec3 frustumNormals[5];
uniform float cubeRadius;
out vec2 fragTexCoord;
out vec4 fragColor;
void main()
{
    vec3 centre = (cell.xyz + chunkOrigin) + 0.5;
    vec3 toBlock = centre - camPos;
    float distSq = toBlock.x*toBlock.x + toBlock.y*toBlock.y + toBlock.z*toBlock.z;
    fragTexCoord = vec2(mod(corner.w, 2.0), floor(corner.w*0.5));
    // A block beyond the cut or wholly outside the view becomes a point: a
    // vertex outside the view volume would send its whole batch down the
    // clipping path of a software rasteriser.
    bool outside = distSq > cutSq;
    vec3 fromEye = centre - frustumEye;
    for (int i = 0; i < 5; i++) outside = outside || dot(fromEye, frustumNormals[i]) > cubeRadius;
    if (outside) {
        fragColor = vec4(0.0);
        gl_Position = vec4(0.0, 0.0, 0.0, 1.0);
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
// Farther than the corners of the near plane from the camera (about 0.1 at a
// field of view of 90 degrees), and nearer than a player's box lets the eye
// come to a block (0.25).
static constexpr float EYE_BLOCK_REACH = 0.15f;
// Blocks this close to the cut or to a side of the view may yet be drawn by
// the shader, whose single-precision sums round differently.
static constexpr float SHADER_SLACK = 0.01f;
// Radius of a sphere around a whole chunk: half its diagonal, rounded up.
static constexpr float CHUNK_MESH_RADIUS = 39.2f;

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
    shader->frustum_eye = rlGetLocationUniform(id, "frustumEye");
    shader->frustum_normals = rlGetLocationUniform(id, "frustumNormals");
    shader->cube_radius = rlGetLocationUniform(id, "cubeRadius");
    shader->corner_attrib = rlGetLocationAttrib(id, "corner");
    shader->cell_attrib = rlGetLocationAttrib(id, "cell");
    if (shader->corner_attrib < 0 || shader->cell_attrib < 0) return false;
    // Uniforms that never change stay with the program.
    float brightness[BRIGHTNESS_ENTRIES];
    for (int face = 0; face < 6; face++)
        for (int light = 0; light <= LIGHT_MAX; light++)
            brightness[face * (LIGHT_MAX + 1) + light] = render_face_brightness(face, light);
    const float fog[3] = {SKY_COLOR.r, SKY_COLOR.g, SKY_COLOR.b};
    const int unit = 0;
    rlEnableShader(id);
    rlSetUniform(shader->brightness, brightness, RL_SHADER_UNIFORM_FLOAT, BRIGHTNESS_ENTRIES);
    rlSetUniform(shader->fog_color, fog, RL_SHADER_UNIFORM_VEC3, 1);
    rlSetUniform(shader->texture0, &unit, RL_SHADER_UNIFORM_INT, 1);
    rlSetUniform(shader->cube_radius, &RENDER_CUBE_RADIUS, RL_SHADER_UNIFORM_FLOAT, 1);
    rlDisableShader();
    return true;
}

// Corner numbers of every face of a window: two triangles, corners 0 1 2 and
// 0 2 3, the way the graphics library splits its own quads.
static unsigned int load_corner_list(void) {
    const int count = CHUNK_MESH_WINDOW_FACES * 6;
    uint16_t* corners = static_cast<uint16_t*>(malloc(static_cast<size_t>(count) * sizeof(uint16_t)));
    if (!corners) return 0;
    static const int pattern[6] = {0, 1, 2, 0, 2, 3};
    for (int face = 0; face < CHUNK_MESH_WINDOW_FACES; face++)
        for (int i = 0; i < 6; i++) corners[face * 6 + i] = static_cast<uint16_t>(face * 4 + pattern[i]);
    rlDisableVertexArray();
    const unsigned int id = rlLoadVertexBufferElement(corners, count * static_cast<int>(sizeof(uint16_t)), false);
    free(corners);
    return id;
}

ChunkMeshSet* chunk_meshes_create(void) {
    ChunkMeshSet* set = static_cast<ChunkMeshSet*>(calloc(1, sizeof(ChunkMeshSet)));
    if (!set) {
        fprintf(stderr, "[chunk_mesh] Failed to allocate the mesh set\n");
        return nullptr;
    }
    const bool shader_made = load_shader(&set->shader);
    set->corner_list = shader_made ? load_corner_list() : 0;
    if (set->corner_list == 0) {
        fprintf(stderr, "[chunk_mesh] The chunk mesh shader or corner list could not be made\n");
        if (set->shader.id != 0) rlUnloadShaderProgram(set->shader.id);
        free(set);
        return nullptr;
    }
    return set;
}

// A mesh that draws nothing of its chunk: lines of sight pass through its
// cells as through those of a chunk not loaded.
static void forget_cells(ChunkMesh* mesh) {
    for (uint64_t& links : mesh->links) links = CHUNK_MESH_UNKNOWN;
    memset(mesh->solid, 0, sizeof mesh->solid);
}

static void release_buffers(ChunkMesh* mesh) {
    for (unsigned int& vao : mesh->vaos) {
        if (vao != 0) rlUnloadVertexArray(vao);
        vao = 0;
    }
    if (mesh->vbo != 0) rlUnloadVertexBuffer(mesh->vbo);
    mesh->vbo = 0;
    mesh->vertex_count = 0;
}

static void release_mesh(ChunkMesh* mesh) {
    release_buffers(mesh);
    forget_cells(mesh);
    free(mesh->cells);
    mesh->cells = nullptr;
    mesh->cell_count = 0;
    free(mesh->layers);
    mesh->layers = nullptr;
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
    chunk_mesh_reach_free(&set->reach);
    chunk_mesh_horizon_free(&set->horizon);
    chunk_mesh_build_free(&set->build);
    rlUnloadVertexBuffer(set->corner_list);
    rlUnloadShaderProgram(set->shader.id);
    free(set);
}

size_t chunk_meshes_card_bytes(const ChunkMeshSet* set) {
    size_t bytes = 0;
    for (int i = 0; set && i < set->count; i++)
        bytes += static_cast<size_t>(set->meshes[i].vertex_count) * sizeof(ChunkMeshVertex);
    return bytes;
}

// A vertex array reading the buffer from the first corner of window `window`.
static unsigned int load_window(const ChunkMeshSet* set, unsigned int vbo, int window) {
    const unsigned int vao = rlLoadVertexArray();
    if (vao == 0 || !rlEnableVertexArray(vao)) return vao;
    const int stride = sizeof(ChunkMeshVertex);
    const int base = window * CHUNK_MESH_WINDOW_FACES * 4 * stride;
    rlEnableVertexBuffer(vbo);
    rlSetVertexAttribute(set->shader.corner_attrib, 4, RL_UNSIGNED_BYTE, false, stride, base);
    rlEnableVertexAttribute(set->shader.corner_attrib);
    rlSetVertexAttribute(set->shader.cell_attrib, 4, RL_UNSIGNED_BYTE, false, stride, base + 4);
    rlEnableVertexAttribute(set->shader.cell_attrib);
    rlEnableVertexBufferElement(set->corner_list);
    rlDisableVertexArray();
    return vao;
}

static bool upload(ChunkMeshSet* set, ChunkMesh* mesh) {
    const ChunkMeshBuild* build = &set->build;
    release_buffers(mesh);
    if (build->vertex_count == 0) return true;
    const int faces = build->vertex_count / 4;
    const int windows = (faces + CHUNK_MESH_WINDOW_FACES - 1) / CHUNK_MESH_WINDOW_FACES;
    mesh->vbo =
        rlLoadVertexBuffer(build->vertices, build->vertex_count * static_cast<int>(sizeof(ChunkMeshVertex)), false);
    bool loaded = mesh->vbo != 0 && windows <= CHUNK_MESH_MAX_WINDOWS;
    for (int w = 0; loaded && w < windows; w++) {
        mesh->vaos[w] = load_window(set, mesh->vbo, w);
        loaded = mesh->vaos[w] != 0;
    }
    if (!loaded) {
        fprintf(stderr, "[chunk_mesh] No buffers on the card for chunk (%d,%d,%d)\n", mesh->chunk_x, mesh->chunk_y,
                mesh->chunk_z);
        release_buffers(mesh);
        return false;
    }
    mesh->vertex_count = build->vertex_count;
    return true;
}

// Makes the mesh of `chunk` anew from its current list and light.
static void rebuild(ChunkMeshSet* set, ChunkMesh* mesh, World* world, Chunk* chunk) {
    ChunkMeshSource source = chunk_mesh_source(world, chunk);
    const int count = chunk_mesh_copy_list(chunk, &set->build, &source.list_stamp);
    if (count < 0 || !chunk_mesh_build(&set->build, world, chunk, count)) return;
    const size_t faces = static_cast<size_t>(set->build.vertex_count / 4);
    uint16_t* cells = static_cast<uint16_t*>(realloc(mesh->cells, static_cast<size_t>(count + 1) * sizeof(uint16_t)));
    if (cells) mesh->cells = cells;
    uint8_t* layers = static_cast<uint8_t*>(realloc(mesh->layers, faces + 1));
    if (layers) mesh->layers = layers;
    if (!cells || !layers) {
        fprintf(stderr, "[chunk_mesh] Out of memory for the cells of chunk (%d,%d,%d)\n", chunk->chunk_x,
                chunk->chunk_y, chunk->chunk_z);
        release_mesh(mesh);  // drawn again when a later rebuild finds memory
        return;
    }
    memcpy(layers, set->build.layers, faces);
    const bool listed = source.list_stamp != 0;
    if (listed) {
        chunk_mesh_read_cells(chunk, mesh);
    } else {
        forget_cells(mesh);
    }
    if (count > 0) memcpy(cells, set->build.cells, static_cast<size_t>(count) * sizeof(uint16_t));
    mesh->cell_count = count;
    chunk_mesh_boxes(cells, count, mesh->boxes);
    if (!upload(set, mesh)) {
        forget_cells(mesh);  // it draws nothing, so it hides nothing
        return;
    }
    memcpy(mesh->start, set->build.start, sizeof mesh->start);
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
    if (!grow_buffer(reinterpret_cast<void**>(&set->meshes), &set->capacity, set->count + 1, sizeof(ChunkMesh)))
        return nullptr;
    ChunkMesh* mesh = &set->meshes[set->count++];
    memset(mesh, 0, sizeof *mesh);
    mesh->chunk_x = chunk->chunk_x;
    mesh->chunk_y = chunk->chunk_y;
    mesh->chunk_z = chunk->chunk_z;
    mesh->source.list_stamp = UINT32_MAX;
    for (uint64_t& links : mesh->links) links = CHUNK_MESH_UNKNOWN;
    return mesh;
}

static int snapshot_chunks(ChunkMeshSet* set, World* world) {
    pthread_mutex_lock(&world->cache_mutex);
    const int count = world->chunk_cache.chunk_count;
    int taken = 0;
    if (grow_buffer(reinterpret_cast<void**>(&set->chunks), &set->chunk_capacity, count, sizeof(Chunk*))) {
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
    if (!grow_buffer(reinterpret_cast<void**>(&set->order), &set->order_capacity, set->count, sizeof(int))) return 0;
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
    return Matrix{r[0], r[4], r[8], r[12], r[1], r[5], r[9], r[13], r[2], r[6], r[10], r[14], r[3], r[7], r[11], r[15]};
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
    rlSetUniform(shader->frustum_eye, &view->frustum.eye, RL_SHADER_UNIFORM_VEC3, 1);
    rlSetUniform(shader->frustum_normals, view->frustum.normals, RL_SHADER_UNIFORM_VEC3, 5);
}

// What a frame draws of one section of a mesh.
struct SectionView {
    uint8_t faces;      // directions that may show
    uint8_t tops_from;  // the lowest layer whose top faces nearer ground does not hide
    float from_low[3];  // the camera's place along each axis, less the section's lowest corner
};

// Whether the shader drops every block of a box of block centres (shifted
// coordinates): all beyond the cut, or all outside one side of the view.
static bool shader_drops_all(const ChunkMeshView* view, const Vector3& low, const Vector3& high) {
    const float cut = RENDER_CUT_SHARE * view->render_distance;
    float nearest = 0.0f;
    const float lows[3] = {low.x, low.y, low.z}, highs[3] = {high.x, high.y, high.z};
    const float cam[3] = {view->cam.x, view->cam.y, view->cam.z};
    for (int a = 0; a < 3; a++) {
        const float gap = cam[a] < lows[a] ? lows[a] - cam[a] : cam[a] > highs[a] ? cam[a] - highs[a] : 0.0f;
        nearest += gap * gap;
    }
    if (nearest > (cut + SHADER_SLACK) * (cut + SHADER_SLACK)) return true;
    const Vector3 eye = view->frustum.eye;
    for (const Vector3& n : view->frustum.normals) {
        // The corner of the box farthest against the normal.
        const float x = (n.x > 0.0f ? low.x : high.x) - eye.x, y = (n.y > 0.0f ? low.y : high.y) - eye.y;
        const float z = (n.z > 0.0f ? low.z : high.z) - eye.z;
        if (x * n.x + y * n.y + z * n.z > RENDER_CUBE_RADIUS + SHADER_SLACK) return true;
    }
    return false;
}

// The box around the listed cells of section s, world blocks.
static void section_box(const ChunkMesh* mesh, int s, double* low, double* high) {
    const uint8_t* box = mesh->boxes[s];
    const double origin[3] = {static_cast<double>(mesh->chunk_x) * CHUNK_SIZE,
                              static_cast<double>(mesh->chunk_y) * CHUNK_HEIGHT,
                              static_cast<double>(mesh->chunk_z) * CHUNK_SIZE};
    for (int a = 0; a < 3; a++) {
        low[a] = origin[a] + box[a];
        high[a] = origin[a] + box[a + 3] + 1.0;
    }
}

// Whether section s of a mesh draws nothing this frame: the shader drops all
// its listed blocks, or nearer ground hides them.
static bool section_hidden(const ChunkMeshSet* set, const ChunkMesh* mesh, int s, const ChunkMeshView* view) {
    if (mesh->boxes[s][0] > mesh->boxes[s][3]) return true;
    double low[3], high[3];
    section_box(mesh, s, low, high);
    // The box of the block centres, shifted as the pass shifts its coordinates.
    const Vector3 first = {static_cast<float>(low[0] - view->offset.x + 0.5), static_cast<float>(low[1] + 0.5),
                           static_cast<float>(low[2] - view->offset.z + 0.5)};
    const Vector3 last = {static_cast<float>(high[0] - view->offset.x - 0.5), static_cast<float>(high[1] - 0.5),
                          static_cast<float>(high[2] - view->offset.z - 0.5)};
    return shader_drops_all(view, first, last) || chunk_mesh_horizon_hides(&set->horizon, low, high);
}

// The lowest layer of section s whose top faces nearer ground may leave in
// sight: the cells of the layers below lie in a box it hides, and top faces
// come in order of layer. A lower box is hidden whenever a higher one is.
static int tops_in_sight_from(const ChunkMeshSet* set, const ChunkMesh* mesh, int s) {
    double low[3], high[3];
    section_box(mesh, s, low, high);
    const double section_low = low[1] - mesh->boxes[s][1] % CHUNK_MESH_SECTION_HEIGHT;
    int hidden = mesh->boxes[s][1] % CHUNK_MESH_SECTION_HEIGHT, shown = mesh->boxes[s][4] % CHUNK_MESH_SECTION_HEIGHT;
    // Layers below `hidden` are hidden and `shown` is not, until they meet.
    while (hidden < shown) {
        const int mid = (hidden + shown) / 2;
        high[1] = section_low + mid + 1;
        if (chunk_mesh_horizon_hides(&set->horizon, low, high))
            hidden = mid + 1;
        else
            shown = mid;
    }
    return hidden;
}

// Which faces of each section may show: bit face of faces is set when the
// section lies within the cut and inside the view, when faces of that
// direction can be turned towards the camera (the camera is in front of their
// plane; the planes of a section's +x faces, say, lie between its lowest x + 1
// and its highest x + 1), and when the walk reached the cell in front of them:
// the section itself, or the next one for the faces on its border; none when
// the section draws nothing this frame.
static void visible_sections(const ChunkMeshSet* set, const ChunkMesh* mesh, const ChunkMeshView* view,
                             SectionView* sections) {
    const ChunkMeshReach* reach = &set->reach;
    for (int s = 0; s < CHUNK_MESH_SECTIONS; s++) {
        const int sx = s % CHUNK_MESH_SECTIONS_XZ, sz = s / CHUNK_MESH_SECTIONS_XZ % CHUNK_MESH_SECTIONS_XZ;
        const int sy = CHUNK_MESH_SECTIONS_Y - 1 - s / (CHUNK_MESH_SECTIONS_XZ * CHUNK_MESH_SECTIONS_XZ);
        const Vector3 low = {
            static_cast<float>(mesh->chunk_x * CHUNK_SIZE + sx * CHUNK_MESH_SECTION_SIZE) - view->offset.x,
            static_cast<float>(mesh->chunk_y * CHUNK_HEIGHT + sy * CHUNK_MESH_SECTION_HEIGHT),
            static_cast<float>(mesh->chunk_z * CHUNK_SIZE + sz * CHUNK_MESH_SECTION_SIZE) - view->offset.z};
        const Vector3 high = {low.x + CHUNK_MESH_SECTION_SIZE, low.y + CHUNK_MESH_SECTION_HEIGHT,
                              low.z + CHUNK_MESH_SECTION_SIZE};
        sections[s].faces = 0;
        sections[s].from_low[0] = view->cam.x - low.x;
        sections[s].from_low[1] = view->cam.y - low.y;
        sections[s].from_low[2] = view->cam.z - low.z;
        const int32_t at[3] = {mesh->chunk_x * CHUNK_MESH_SECTIONS_XZ + sx, mesh->chunk_y * CHUNK_MESH_SECTIONS_Y + sy,
                               mesh->chunk_z * CHUNK_MESH_SECTIONS_XZ + sz};
        if (!chunk_mesh_section_in_view(at, view)) continue;
        const Vector3 c = view->cam;
        const unsigned towards = (c.x > low.x ? 1u : 0u) | (c.x < high.x ? 2u : 0u) | (c.y > low.y ? 4u : 0u) |
                                 (c.y < high.y ? 8u : 0u) | (c.z > low.z ? 16u : 0u) | (c.z < high.z ? 32u : 0u);
        const bool here = chunk_mesh_reached(reach, at[0], at[1], at[2]);
        unsigned reached = 0;
        for (int face = 0; face < 6; face++) {
            const int step = face % 2 == 0 ? 1 : -1;
            const int axis = face / 2;
            const bool next = chunk_mesh_reached(reach, at[0] + (axis == 0 ? step : 0), at[1] + (axis == 1 ? step : 0),
                                                 at[2] + (axis == 2 ? step : 0));
            if (here || next) reached |= 1u << face;
        }
        sections[s].faces = static_cast<uint8_t>(towards & reached);
        if (sections[s].faces != 0 && section_hidden(set, mesh, s, view)) sections[s].faces = 0;
        sections[s].tops_from = (sections[s].faces & 4u) ? static_cast<uint8_t>(tops_in_sight_from(set, mesh, s)) : 0;
    }
}

// Draws the faces of corners first..end, window by window.
static void draw_run(const ChunkMesh* mesh, int first, int end) {
    int face = first / 4;
    const int end_face = end / 4;
    while (face < end_face) {
        const int window = face / CHUNK_MESH_WINDOW_FACES;
        const int window_end = (window + 1) * CHUNK_MESH_WINDOW_FACES;
        const int stop = end_face < window_end ? end_face : window_end;
        rlEnableVertexArray(mesh->vaos[window]);
        rlDrawVertexArrayElements((face - window * CHUNK_MESH_WINDOW_FACES) * 6, (stop - face) * 6, nullptr);
        face = stop;
    }
}

// The part [*first, *end) of a range that is turned towards the camera: with
// its faces in order of layer, those whose plane the camera is in front of.
static void facing_part(const ChunkMesh* mesh, int face, float from_low, int* first, int* end) {
    if (face % 2 == 0) {
        while (*end > *first && static_cast<float>(mesh->layers[*end / 4 - 1] + 1) >= from_low) *end -= 4;
    } else {
        while (*first < *end && static_cast<float>(mesh->layers[*first / 4]) <= from_low) *first += 4;
    }
}

// Draws the ranges of one type whose section shows and whose faces are
// turned towards the camera, joining neighbouring ranges into one call.
static void draw_type(const ChunkMesh* mesh, int type, const SectionView* sections) {
    int run_first = 0, run_end = -1;
    for (int face = 0; face < 6; face++) {
        for (int s = 0; s < CHUNK_MESH_SECTIONS; s++) {
            const int r = chunk_mesh_range(type, face, s);
            int first = mesh->start[r], end = mesh->start[r + 1];
            if (first == end || !(sections[s].faces & (1u << face))) continue;
            facing_part(mesh, face, sections[s].from_low[face / 2], &first, &end);
            while (face == 2 && first < end && mesh->layers[first / 4] < sections[s].tops_from) first += 4;
            if (first == end) continue;
            if (first != run_end) {
                draw_run(mesh, run_first, run_end);
                run_first = first;
            }
            run_end = end;
        }
    }
    draw_run(mesh, run_first, run_end);
}

static void draw_mesh(const ChunkMeshSet* set, const ChunkMesh* mesh, World* world, const ChunkMeshView* view) {
    const ChunkMeshShader* shader = &set->shader;
    SectionView sections[CHUNK_MESH_SECTIONS];
    visible_sections(set, mesh, view, sections);
    const float origin[3] = {static_cast<float>(mesh->chunk_x * CHUNK_SIZE) - view->offset.x,
                             static_cast<float>(mesh->chunk_y * CHUNK_HEIGHT),
                             static_cast<float>(mesh->chunk_z * CHUNK_SIZE) - view->offset.z};
    rlSetUniform(shader->chunk_origin, origin, RL_SHADER_UNIFORM_VEC3, 1);
    for (int type = 0; type < CHUNK_MESH_TYPES; type++) {
        if (mesh->start[chunk_mesh_range(type, 0, 0)] == mesh->start[chunk_mesh_range(type + 1, 0, 0)]) continue;
        // A type without a texture shows its flat colour, as the white texture gives.
        const unsigned int texture = world_get_block_texture(world, static_cast<BlockType>(type)).id;
        rlEnableTexture(texture != 0 ? texture : rlGetTextureIdDefault());
        const Color color = world_get_block_color(static_cast<BlockType>(type));
        const float base[3] = {static_cast<float>(color.r), static_cast<float>(color.g), static_cast<float>(color.b)};
        rlSetUniform(shader->base_color, base, RL_SHADER_UNIFORM_VEC3, 1);
        draw_type(mesh, type, sections);
    }
}

// Whether a cell drawn as a block lies within reach of the near plane, which
// then shows the inside of that block and whatever its solid neighbours hide.
static bool eye_in_block(World* world, const ChunkMeshView* view) {
    const float reach = EYE_BLOCK_REACH;
    const float cam[3] = {view->cam.x + view->offset.x, view->cam.y, view->cam.z + view->offset.z};
    int low[3], high[3];
    for (int a = 0; a < 3; a++) {
        low[a] = static_cast<int>(floorf(cam[a] - reach));
        high[a] = static_cast<int>(floorf(cam[a] + reach));
    }
    for (int y = low[1]; y <= high[1]; y++)
        for (int z = low[2]; z <= high[2]; z++)
            for (int x = low[0]; x <= high[0]; x++)
                if (world_get_block_color(world_get_block(world, x, y, z)).a != 0) return true;
    return false;
}

int chunk_meshes_draw(ChunkMeshSet* set, World* world, const ChunkMeshView* view) {
    if (!set || !world || set->world != world) return 0;
    int draw_count = 0;
    const int within = count_and_order(set, view, &draw_count);
    if (draw_count == 0) return within;
    const bool inside_block = eye_in_block(world, view);
    chunk_mesh_reach_walk(&set->reach, set->meshes, set->count, view, inside_block);
    chunk_mesh_horizon_make(&set->horizon, set->meshes, set->count, view, inside_block);
    // Whatever the library has batched so far goes first, as it would have.
    rlDrawRenderBatchActive();
    rlEnableShader(set->shader.id);
    set_frame_uniforms(&set->shader, view);
    rlActiveTextureSlot(0);
    for (int i = 0; i < draw_count; i++) draw_mesh(set, &set->meshes[set->order[i]], world, view);
    rlDisableVertexArray();
    rlDisableTexture();
    rlDisableShader();
    return within;
}
