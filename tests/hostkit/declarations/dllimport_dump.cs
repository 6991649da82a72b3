// Prints what the compiled host-kit assembly declares, as the runtime sees
// it: its PE kind, then one line per DllImport method:
//   import <entry> dll=<name> conv=<convention> charset=<set> returns=<type> params=<type>[:<marshal>],...
// Run under Mono on Linux: it only reflects, it never calls into the DLL.
using System;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;

static class DllImportDump
{
    static string ParamText(ParameterInfo p)
    {
        var marshal = p.GetCustomAttributes(typeof(MarshalAsAttribute), false).Cast<MarshalAsAttribute>().FirstOrDefault();
        return p.ParameterType.FullName + (marshal != null ? ":" + marshal.Value : "");
    }

    static int Main(string[] args)
    {
        if (args.Length != 1)
        {
            Console.Error.WriteLine("usage: dllimport_dump ASSEMBLY");
            return 2;
        }
        var assembly = Assembly.LoadFrom(args[0]);
        PortableExecutableKinds kind;
        ImageFileMachine machine;
        assembly.ManifestModule.GetPEKind(out kind, out machine);
        Console.WriteLine("pe " + kind.ToString().Replace(" ", "") + " " + machine);
        const BindingFlags all = BindingFlags.Public | BindingFlags.NonPublic | BindingFlags.Static | BindingFlags.Instance;
        foreach (var type in assembly.GetTypes())
        {
            foreach (var method in type.GetMethods(all))
            {
                var import = method.GetCustomAttributes(typeof(DllImportAttribute), false).Cast<DllImportAttribute>().FirstOrDefault();
                if (import == null) continue;
                var entry = string.IsNullOrEmpty(import.EntryPoint) ? method.Name : import.EntryPoint;
                Console.WriteLine("import " + entry + " dll=" + import.Value + " conv=" + import.CallingConvention +
                                  " charset=" + import.CharSet + " returns=" + method.ReturnType.FullName +
                                  " params=" + string.Join(",", method.GetParameters().Select(ParamText)));
            }
        }
        return 0;
    }
}
