// The body of every test provider assembly. The assembly's name, version and
// runtime come from the build (build.sh), so one source serves all four names
// and both runtimes.
namespace Ovk.Data.Test
{
    public static class ProviderInfo
    {
        public static string Describe()
        {
            return typeof(ProviderInfo).Assembly.FullName;
        }
    }
}
