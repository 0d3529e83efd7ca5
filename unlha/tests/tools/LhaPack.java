// Writes an LHA archive through the jLHA library, with the method and header
// level named: the tests' source of archives of methods that only jLHA
// writes among the archivers Debian has.
//   java -cp jlha.jar LhaPack.java ARCHIVE METHOD LEVEL FILE...
import java.io.File;
import java.io.FileOutputStream;
import java.nio.file.Files;
import java.util.Date;

import jp.gr.java_conf.dangan.util.lha.LhaHeader;
import jp.gr.java_conf.dangan.util.lha.LhaOutputStream;

public class LhaPack {
  public static void main(String[] args) throws Exception {
    try (LhaOutputStream out = new LhaOutputStream(new FileOutputStream(args[0]))) {
      for (int i = 3; i < args.length; i++) {
        File f = new File(args[i]);
        LhaHeader h = new LhaHeader(f.getName(), new Date(f.lastModified()));
        h.setCompressMethod(args[1]);
        h.setHeaderLevel(Integer.parseInt(args[2]));
        out.putNextEntry(h);
        out.write(Files.readAllBytes(f.toPath()));
        out.closeEntry();
      }
    }
  }
}
