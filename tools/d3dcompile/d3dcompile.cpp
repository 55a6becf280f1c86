// Compiles one HLSL shader to a DXBC object file with D3DCompile (d3dcompiler_47.dll).
//   kelvorine-d3dcompile <source.hlsl> <entry point> <target profile> <output.cso>
// Used at build time to make SampleVS.cso and SamplePS.cso (run under Wine when cross-compiling).
#include <windows.h>
#include <d3dcompiler.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: kelvorine-d3dcompile source.hlsl entry target output.cso\n");
        return 2;
    }
    FILE* in = _wfopen(argv[1], L"rb");
    if (in == nullptr) {
        std::fprintf(stderr, "kelvorine-d3dcompile: cannot open %ls\n", argv[1]);
        return 1;
    }
    std::vector<char> source;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) source.insert(source.end(), chunk, chunk + n);
    std::fclose(in);

    char entry[64], target[16], name[MAX_PATH];
    WideCharToMultiByte(CP_UTF8, 0, argv[2], -1, entry, sizeof entry, nullptr, nullptr);
    WideCharToMultiByte(CP_UTF8, 0, argv[3], -1, target, sizeof target, nullptr, nullptr);
    WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, name, sizeof name, nullptr, nullptr);
    ID3DBlob* code = nullptr;
    ID3DBlob* errors = nullptr;
    HRESULT hr = D3DCompile(source.data(), source.size(), name, nullptr, nullptr, entry, target,
                            D3DCOMPILE_OPTIMIZATION_LEVEL3 | D3DCOMPILE_ENABLE_STRICTNESS, 0, &code, &errors);
    if (errors != nullptr) {
        std::fprintf(stderr, "%.*s", static_cast<int>(errors->GetBufferSize()),
                     static_cast<const char*>(errors->GetBufferPointer()));
        errors->Release();
    }
    if (FAILED(hr) || code == nullptr) {
        std::fprintf(stderr, "kelvorine-d3dcompile: %ls failed (0x%08lx)\n", argv[1], static_cast<unsigned long>(hr));
        return 1;
    }
    FILE* out = _wfopen(argv[4], L"wb");
    bool ok = out != nullptr && std::fwrite(code->GetBufferPointer(), 1, code->GetBufferSize(), out) == code->GetBufferSize();
    if (out != nullptr && std::fclose(out) != 0) ok = false;
    code->Release();
    if (!ok) {
        std::fprintf(stderr, "kelvorine-d3dcompile: cannot write %ls\n", argv[4]);
        _wremove(argv[4]);
        return 1;
    }
    return 0;
}
