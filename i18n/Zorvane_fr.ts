<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>Optimizer</name>
    <message>
        <source>
%1 %2 %3
%4 %5
</source>
        <translation>
%1 %2 %3
%4 %5
</translation>
    </message>
    <message>
        <source>Test coverage optimizer</source>
        <comment>Default message displayed when the tool is started</comment>
        <translation>Optimiseur de couverture de tests</translation>
    </message>
</context>
<context>
    <name>Zorvane</name>
    <message>
        <source>Memory overflow
</source>
        <translation>Mémoire insuffisante
</translation>
    </message>
    <message>
        <source>Bad hexa value format in &quot;%1&quot; at line %2
</source>
        <translation>Format de valeur hexa incorrect dans &quot;%1&quot; à la ligne %2
</translation>
    </message>
    <message>
        <source>Number overflow in &quot;%1&quot; at line %2
</source>
        <translation>Dépassement de capacité du nombre &quot;%1&quot; à la ligne %2
</translation>
    </message>
    <message>
        <source>Too much covItem found
</source>
        <translation>Trop de covItems trouvés
</translation>
    </message>
    <message>
        <source>Mandatory tst %1 (%2 covItem) %3
</source>
        <translation>Test obligatoire %1 (%2 covItem) %3
</translation>
    </message>
    <message>
        <source>CovItems:
</source>
        <translation>CovItems :
</translation>
    </message>
    <message>
        <source>Unexpected data &quot;%1&quot; found line %2, line ignored
</source>
        <translation>Données inattendues &quot;%1&quot; trouvées ligne %2, ligne ignorée
</translation>
    </message>
    <message>
        <source>Unable to open the file %1
</source>
        <translation>Impossible d'ouvrir le fichier %1
</translation>
    </message>
    <message>
        <source>option require value
</source>
        <translation>l'option nécessite une valeur
</translation>
    </message>
    <message>
        <source>Analysing %1
</source>
        <translation>Analyse de %1
</translation>
    </message>
    <message>
        <source>Need tst %1:%2 %3
</source>
        <translation>Test nécessaire %1:%2 %3
</translation>
    </message>
    <message>
        <source>Useless tst %1:%2 %3
</source>
        <translation>Test inutile %1:%2 %3
</translation>
    </message>
    <message>
        <source>%1 %2 tests are needed
</source>
        <translation>%1 %2 tests sont nécessaires
</translation>
    </message>
    <message>
        <source>(unexpected error)</source>
        <translation>(erreur inattendue)</translation>
    </message>
    <message>
        <source>Unable to read the file %1
</source>
        <translation>Impossible de lire le fichier %1
</translation>
    </message>
    <message>
        <source>Search interrupted: the needed tests may not be the fewest
</source>
        <translation>Recherche interrompue : les tests nécessaires ne sont peut-être pas les moins nombreux
</translation>
    </message>
    <message>
        <source>Unknown option %1
</source>
        <translation>Option inconnue %1
</translation>
    </message>
    <message>
        <source>Option %1 requires a file name
</source>
        <translation>L'option %1 nécessite un nom de fichier
</translation>
    </message>
    <message>
        <source>Unable to write the file %1: %2
</source>
        <translation>Impossible d'écrire le fichier %1 : %2
</translation>
    </message>
    <message>
        <source>%1 is an LCOV tracefile, not a coverage file: convert it with zorvane-lcov first
</source>
        <translation>%1 est un fichier de traces LCOV, pas un fichier de couverture : convertissez-le d'abord avec zorvane-lcov
</translation>
    </message>
    <message>
        <source>%1 and %2 come from different builds (their build fingerprints differ): their branches may not match
</source>
        <translation>%1 et %2 viennent de compilations différentes (leurs empreintes de compilation diffèrent) : leurs branches peuvent ne pas correspondre
</translation>
    </message>
    <message>
        <source>FT key %1 names the source %2 in %3
</source>
        <translation>La clé FT %1 désigne le source %2 dans %3
</translation>
    </message>
    <message>
        <source>FT key %1 also names the source %2 in %3: files that give one key to two sources cannot be merged
</source>
        <translation>La clé FT %1 désigne aussi le source %2 dans %3 : des fichiers qui donnent une même clé à deux sources ne peuvent pas être fusionnés
</translation>
    </message>
    <message>
        <source>Option %1 %2 would write over the coverage file %3
</source>
        <translation>L'option %1 %2 écraserait le fichier de couverture %3
</translation>
    </message>
    <message>
        <source>Options %1 and %2 name the same file %3
</source>
        <translation>Les options %1 et %2 désignent le même fichier %3
</translation>
    </message>
    <message>
        <source>Unable to write the standard output
</source>
        <translation>Impossible d'écrire sur la sortie standard
</translation>
    </message>
    <message>
        <source>A coverage file could not be read: the result files are left as they were
</source>
        <translation>Un fichier de couverture n'a pas pu être lu : les fichiers de résultats restent tels quels
</translation>
    </message>
    <message>
        <source>Time limit reached: the needed tests may not be the fewest
</source>
        <translation>Temps limite atteint : les tests nécessaires ne sont peut-être pas les moins nombreux
</translation>
    </message>
    <message>
        <source>Option %1 requires a number of seconds
</source>
        <translation>L'option %1 nécessite un nombre de secondes
</translation>
    </message>
    <message>
        <source>Bad cost &quot;%1&quot; in %2 at line %3
</source>
        <translation>Coût invalide &quot;%1&quot; dans %2 à la ligne %3
</translation>
    </message>
    <message>
        <source>Unable to read the costs in %1 at line %2: %3
</source>
        <translation>Impossible de lire les coûts de %1 à la ligne %2 : %3
</translation>
    </message>
    <message>
        <source>%1 tests have no cost: each counts as %2 s
</source>
        <translation>%1 tests n&apos;ont pas de coût : chacun compte pour %2 s
</translation>
    </message>
    <message>
        <source>The needed tests take %1 s of the %2 s of the whole suite (%3%)
</source>
        <translation>Les tests nécessaires prennent %1 s sur les %2 s de toute la suite (%3 %)
</translation>
    </message>
    <message>
        <source>Option %1 takes dotted, name or colons, not %2
</source>
        <translation>L&apos;option %1 prend dotted, name ou colons, pas %2
</translation>
    </message>
    <message>
        <source>info:</source>
        <translation>info :</translation>
    </message>
    <message>
        <source>warning:</source>
        <translation>attention :</translation>
    </message>
    <message>
        <source>serious:</source>
        <translation>grave :</translation>
    </message>
    <message>
        <source>fatal:</source>
        <translation>fatal :</translation>
    </message>
</context>
</TS>
